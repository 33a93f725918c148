#include "engine/relation_text.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace {
const char kRecordStart[] = " | ";
const size_t kRecordStartLen = sizeof(kRecordStart) - 1;
const size_t kFormatChunk = 64 * 1024;
// The longest piece appended at once: a 64-bit key with its separators.
const size_t kLongestPiece = 32;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

void SkipSpaces(const char* pText, size_t nLen, size_t& nPos) {
    while (nPos < nLen && pText[nPos] == ' ') ++nPos;
}

// A run of decimal digits at nPos no greater than u64Max; nPos moves past it.
bool ParseDecimal(const char* pText, size_t nLen, size_t& nPos, uint64_t u64Max, uint64_t& u64Value) {
    size_t nStart = nPos;
    uint64_t u64 = 0;
    while (nPos < nLen && IsDigit(pText[nPos])) {
        uint64_t u64Digit = static_cast<uint64_t>(pText[nPos] - '0');
        if (u64 > (u64Max - u64Digit) / 10) return false;
        u64 = u64 * 10 + u64Digit;
        ++nPos;
    }
    u64Value = u64;
    return nPos > nStart;
}

// The " - [" after a key, with any number of spaces around the dash.
bool ParseListOpening(const char* pText, size_t nLen, size_t& nPos) {
    SkipSpaces(pText, nLen, nPos);
    if (nPos >= nLen || pText[nPos] != '-') return false;
    ++nPos;
    SkipSpaces(pText, nLen, nPos);
    if (nPos >= nLen || pText[nPos] != '[') return false;
    ++nPos;
    return true;
}

// Node numbers up to and including "]". Node numbers count from 1.
bool ParseChildList(const char* pText, size_t nLen, size_t& nPos, std::vector<unsigned int>& vecChildren) {
    vecChildren.clear();
    while (true) {
        SkipSpaces(pText, nLen, nPos);
        uint64_t u64Child = 0;
        if (!ParseDecimal(pText, nLen, nPos, std::numeric_limits<unsigned int>::max(), u64Child) ||
            u64Child == 0)
            return false;
        vecChildren.push_back(static_cast<unsigned int>(u64Child));
        SkipSpaces(pText, nLen, nPos);
        if (nPos >= nLen) return false;
        char c = pText[nPos++];
        if (c == ']') return true;
        if (c != ',') return false;
    }
}

char* AppendDecimal(char* pOut, uint64_t u64Value) {
    char szDigits[20];
    int nDigits = 0;
    do {
        szDigits[nDigits++] = static_cast<char>('0' + u64Value % 10);
        u64Value /= 10;
    } while (u64Value != 0);
    while (nDigits > 0) *pOut++ = szDigits[--nDigits];
    return pOut;
}

char* AppendText(char* pOut, const char* szText) {
    size_t nLen = strlen(szText);
    memcpy(pOut, szText, nLen);
    return pOut + nLen;
}
}  // namespace

void ParseRelationText(const char* pText, size_t nLen, RELATION_MAP& relations) {
    if (pText == nullptr) return;
    std::vector<unsigned int> vecChildren;
    size_t nSearchFrom = 0;
    while (nSearchFrom < nLen) {
        const void* pFound = memmem(pText + nSearchFrom, nLen - nSearchFrom, kRecordStart, kRecordStartLen);
        if (pFound == nullptr) return;
        size_t nRecord = static_cast<size_t>(static_cast<const char*>(pFound) - pText);
        size_t nPos = nRecord + kRecordStartLen;
        uint64_t u64Key = 0;
        bool bComplete = ParseDecimal(pText, nLen, nPos, std::numeric_limits<uint64_t>::max(), u64Key) &&
                         ParseListOpening(pText, nLen, nPos) &&
                         ParseChildList(pText, nLen, nPos, vecChildren);
        if (bComplete) relations[u64Key] = vecChildren;  // a copy sized to the list, not to its growth
        // A broken record may hide the start of the next one inside what was read.
        nSearchFrom = bComplete ? nPos : nRecord + 1;
    }
}

bool FormatRelationText(const RELATION_MAP& relations,
                        const std::function<bool(const char* pData, size_t nLen)>& sink) {
    std::vector<char> vecChunk(kFormatChunk);
    char* const pBegin = vecChunk.data();
    char* const pFlushAt = pBegin + kFormatChunk - kLongestPiece;
    char* pOut = pBegin;
    for (const auto& record : relations) {
        if (pOut >= pFlushAt) {
            if (!sink(pBegin, static_cast<size_t>(pOut - pBegin))) return false;
            pOut = pBegin;
        }
        pOut = AppendText(pOut, kRecordStart);
        pOut = AppendDecimal(pOut, record.first);
        pOut = AppendText(pOut, " - [");
        bool bFirst = true;
        for (unsigned int nChild : record.second) {
            if (pOut >= pFlushAt) {
                if (!sink(pBegin, static_cast<size_t>(pOut - pBegin))) return false;
                pOut = pBegin;
            }
            if (!bFirst) *pOut++ = ',';
            bFirst = false;
            pOut = AppendDecimal(pOut, nChild);
        }
        *pOut++ = ']';
    }
    if (pOut != pBegin) return sink(pBegin, static_cast<size_t>(pOut - pBegin));
    return true;
}
