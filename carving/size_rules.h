#pragma once
// The size rules of the type table: given a file's head sector (the judge context set up for
// it), the number of bytes the carved file is taken to occupy from that sector on.
// One file per family: size_rules_video.cpp, size_rules_audio_picture.cpp,
// size_rules_document_archive.cpp and size_rules_camera_raw.cpp.

// A rule never answers 0 for a file it sized (a carved file takes at least its head sector);
// the carving engine still treats 0 as "size unknown" and keeps the head sector.
constexpr unsigned long long SIZE_RULE_UNKNOWN = 0;

typedef unsigned long long (*PFN_GET_FILE_BYTES_SIZE)(const unsigned char* pHead, int nLen);

// video
unsigned long long GetMPGFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetMP4FileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetMOVFileBytesSize(const unsigned char* pHead, int nLen);  // QuickTime and 3GP
unsigned long long GetFLVFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetRMVBFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetASFFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetSWFFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetAVIFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetDefaultVedioFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetMKVFileBytes(const unsigned char* pHead, int nLen);
unsigned long long GetTSFileBytesSize(const unsigned char* pHead, int nLen);

// audio and pictures
unsigned long long GetMP3FileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetMIDFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetAPEFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetWAVFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetDefaultAudioFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetFLAFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetGIFFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetBMPFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetJPGFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetPNGFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetTIFFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetDefaultPictureFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetICOFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetWEBPFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetFLACFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetOGGFileBytesSize(const unsigned char* pHead, int nLen);  // Vorbis, Opus and the rest

// camera RAW (size_rules_camera_raw.cpp)
unsigned long long GetCameraRawFileBytesSize(const unsigned char* pHead, int nLen);  // TIFF-based
unsigned long long GetRAFFileBytesSize(const unsigned char* pHead, int nLen);

// documents, archives, databases, mail and fonts
unsigned long long GetOFFICE2003FileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetOFFICE2007FileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetPDFFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetGZIPFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long Get7ZFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetZIPFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetRARFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetCABFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetDBFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetMailFileBytesSize(const unsigned char* pHead, int nLen);
unsigned long long GetTTFFileBytesSize(const unsigned char* pHead, int nLen);
