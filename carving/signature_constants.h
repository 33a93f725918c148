#pragma once
// Byte patterns shared by the signature tests and the size rules, in file order.

inline constexpr unsigned char szXmfHead[16] = {0x06, 0x0E, 0x2B, 0x34, 0x02, 0x05, 0x01, 0x01,
                                                0x0D, 0x01, 0x02, 0x01, 0x01, 0x02, 0x04, 0x00};
// Bytes 8..15 of an MTS head: the program-association section after the 4-byte prefix and
// the transport packet header.
inline constexpr unsigned char szMtsHead[8] = {0x00, 0x00, 0xB0, 0x11, 0x00, 0x00, 0xC1, 0x00};
inline constexpr unsigned char szIcoHead[4] = {0x00, 0x00, 0x01, 0x00};
inline constexpr unsigned char szTtfHead[4] = {0x00, 0x01, 0x00, 0x00};
// The first four bytes of every OLE compound file.
inline constexpr unsigned char szFlaHead[4] = {0xD0, 0xCF, 0x11, 0xE0};
inline constexpr unsigned char szOleHead[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
inline constexpr unsigned char szGifHead[3] = {'G', 'I', 'F'};
inline constexpr unsigned char szSqliteHead[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f',
                                                   'o', 'r', 'm', 'a', 't', ' ', '3', 0x00};
inline constexpr unsigned char szWinrarHeadMagic[7] = {0x52, 0x61, 0x72, 0x21, 0x1A, 0x07, 0x00};
inline constexpr unsigned char szJpgTail[2] = {0xFF, 0xD9};
inline constexpr unsigned char szPngTail[8] = {0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
inline constexpr unsigned char szGifTail[2] = {0x00, 0x3B};
// "NTFS" in UTF-16LE.
inline constexpr unsigned char szNTFS[8] = {0x4E, 0x00, 0x54, 0x00, 0x46, 0x00, 0x53, 0x00};
inline constexpr unsigned char szMp4Tail[26] = {'f', 'r', 'e', 'e', 'I', 's', 'o', 'M', 'e',
                                                'd', 'i', 'a', ' ', 'F', 'i', 'l', 'e', ' ',
                                                'P', 'r', 'o', 'd', 'u', 'c', 'e', 'd'};
inline constexpr unsigned char szRmvbTail[20] = {0x49, 0x4E, 0x44, 0x58, 0x00, 0x00, 0x00,
                                                 0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                 0x00, 0x02, 0x00, 0x00, 0x00, 0x00};
inline constexpr unsigned char sz7ZTail[12] = {0x00, 0x07, 0x0B, 0x01, 0x00, 0x01,
                                               0x23, 0x03, 0x01, 0x01, 0x05, 0x5D};
inline constexpr unsigned char sm_ucWinrarTail[7] = {0xC4, 0x3D, 0x7B, 0x00, 0x40, 0x07, 0x00};
inline constexpr unsigned char ucDocTailHead[9] = {0x01, 0x00, 0xFE, 0xFF, 0x03,
                                                   0x0A, 0x00, 0x00, 0x00};
inline constexpr unsigned char ucDocTail[26] = {'M', 'i', 'c', 'r', 'o', 's', 'o', 'f', 't',
                                                ' ', 'O', 'f', 'f', 'i', 'c', 'e', ' ', 'W',
                                                'o', 'r', 'd', ' ', 0xCE, 0xC4, 0xB5, 0xB5};
inline constexpr unsigned char sm_ucPdfEof[5] = {'%', '%', 'E', 'O', 'F'};
inline constexpr unsigned char sm_ucPdfTrailer[7] = {'t', 'r', 'a', 'i', 'l', 'e', 'r'};
inline constexpr unsigned char sz_ApeTail[10] = {'A', 'P', 'E', 'T', 'A', 'G', 'E', 'X', 0xD0, 0x07};
inline constexpr unsigned char sm_ucMp3Tail[3] = {'T', 'A', 'G'};
inline constexpr unsigned char sm_Asf_file_head_guid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66,
                                                            0xCF, 0x11, 0xA6, 0xD9, 0x00, 0xAA,
                                                            0x00, 0x62, 0xCE, 0x6C};
inline constexpr unsigned char sm_Asf_file_properties_guid[16] = {
    0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11, 0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};

// ZIP record signatures the Office Open XML decision looks for.
inline constexpr unsigned char szZipLocalHeader[4] = {0x50, 0x4B, 0x03, 0x04};
inline constexpr unsigned char szZipCentralHeader[4] = {0x50, 0x4B, 0x01, 0x02};
inline constexpr unsigned char szZipEndOfCentralDir[4] = {0x50, 0x4B, 0x05, 0x06};
