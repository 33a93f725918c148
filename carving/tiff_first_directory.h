#pragma once
// What the first image file directory (IFD0) of a TIFF-based file says about the camera that
// wrote it: the signature tests of camera RAW read it from the head's bytes.
#include <cstddef>
#include <cstdint>

struct TIFF_FIRST_DIRECTORY {
    bool bDngVersion = false;  // the DNGVersion tag is there
    bool bSubIfds = false;     // so is a SubIFDs list
    uint32_t nCompression = 0;
    uint32_t nPhotometric = 0;
    char szMake[32] = {};      // the Make text, cut to fit
};

enum TIFF_FIRST_DIRECTORY_ANSWER { TIFF_NOT_READ, TIFF_NEEDS_MORE, TIFF_READ };

// Reads IFD0 of the TIFF (or ORF / RW2) header at pBuf. TIFF_NEEDS_MORE with nNeeded = the
// buffer length that would hold what is still missing; TIFF_NOT_READ when the header or the
// directory is not sound.
TIFF_FIRST_DIRECTORY_ANSWER ReadTiffFirstDirectory(const unsigned char* pBuf, size_t nLen, TIFF_FIRST_DIRECTORY& dir,
                                                  size_t& nNeeded);
