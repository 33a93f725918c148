#pragma once
// Small bounds-checked comparisons the signature tests are written with.
#include <cstddef>
#include <cstring>

#include "util/le.h"

// True when the nSig bytes of pSig stand at nOffset of the nLen-byte buffer pBuf.
inline bool BytesAt(const unsigned char* pBuf, int nLen, int nOffset, const void* pSig, int nSig) {
    if (pBuf == nullptr || nOffset < 0 || nSig < 0 || nLen - nOffset < nSig) return false;
    return memcmp(pBuf + nOffset, pSig, static_cast<size_t>(nSig)) == 0;
}

// The same for a text literal (its NUL not compared).
template <size_t N>
inline bool TextAt(const unsigned char* pBuf, int nLen, int nOffset, const char (&szText)[N]) {
    return BytesAt(pBuf, nLen, nOffset, szText, static_cast<int>(N - 1));
}

// The same for a byte-array constant of known size.
template <size_t N>
inline bool SignatureAt(const unsigned char* pBuf, int nLen, int nOffset,
                        const unsigned char (&ucSig)[N]) {
    return BytesAt(pBuf, nLen, nOffset, ucSig, static_cast<int>(N));
}

// A test rejects a null buffer or one shorter than the bytes it reads.
inline bool HasBytes(const unsigned char* pBuf, int nLen, int nNeeded) {
    return pBuf != nullptr && nLen >= nNeeded;
}

// True when the four bytes at pCode (a box type, a brand) are one of the four-character codes.
template <size_t N>
inline bool FourCcIn(const unsigned char* pCode, const char* const (&szCodes)[N]) {
    for (const char* szCode : szCodes)
        if (memcmp(pCode, szCode, 4) == 0) return true;
    return false;
}
