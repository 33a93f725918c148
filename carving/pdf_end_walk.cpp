// PDF: the file ends with the end-of-line after its last "%%EOF". A file saved with incremental
// updates has one "%%EOF" per update, each followed directly by the next update's objects or
// cross-reference section, so a "%%EOF" followed by anything else is the last one. The walk
// stops there, or at the next file's head (the last "%%EOF" before it then ends the file).
// Without any "%%EOF", the last "trailer" keyword is the best end known.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "carving/carved_file_bytes.h"
#include "carving/forward_walk.h"
#include "carving/signature_constants.h"
#include "carving/size_rules.h"

namespace {

using J = CFileTypeJudge;

constexpr unsigned long long PDF_CAP_BYTES = 1ULL << 30;
constexpr int EOF_BYTES = sizeof(sm_ucPdfEof);
constexpr int SEAM_BYTES = EOF_BYTES - 1;  // a marker may start this far before a chunk
// Bytes after a "%%EOF" that decide whether an update follows: the end-of-line, white space and
// the first object header ("12345678 65535 obj") fit.
constexpr size_t LOOKAHEAD_BYTES = 64;

bool IsPdfWhiteSpace(unsigned char uc) {
    return uc == ' ' || uc == '\t' || uc == '\r' || uc == '\n' || uc == '\f';
}

// True when p starts, after white space, with an object header or a cross-reference section.
bool UpdateStartsAt(const unsigned char* p, size_t nLen) {
    size_t i = 0;
    while (i < nLen && IsPdfWhiteSpace(p[i])) ++i;
    if (nLen - i >= 4 && memcmp(p + i, "xref", 4) == 0) return true;
    // object number, white space, generation, white space, "obj"
    for (int nNumber = 0; nNumber < 2; ++nNumber) {
        const size_t nDigits = i;
        while (i < nLen && isdigit(p[i])) ++i;
        if (i == nDigits || i == nLen || !IsPdfWhiteSpace(p[i])) return false;
        while (i < nLen && IsPdfWhiteSpace(p[i])) ++i;
    }
    return nLen - i >= 3 && memcmp(p + i, "obj", 3) == 0;
}

class CPdfEnd {
public:
    // Looks at the markers of pData, nLen bytes of the file from u64Base on (a "%%EOF" may also
    // start in the last bytes of the previous buffer). Markers from nLimit on count only when
    // none of this file was found before: content embedded in the PDF, not the next file, then
    // stopped the end search at nLimit.
    void Scan(const unsigned char* pData, int nLen, unsigned long long u64Base, int nLimit) {
        std::vector<long long> vecEofEnds;  // ends within pData (a seam marker's too)
        unsigned char ucSeam[2 * SEAM_BYTES];
        const int nFirst = std::min(nLen, SEAM_BYTES);
        memcpy(ucSeam, m_ucCarry, SEAM_BYTES);
        memcpy(ucSeam + SEAM_BYTES, pData, static_cast<size_t>(nFirst));
        const bool bCarry = m_bCarry && m_u64CarryEnd == u64Base;
        for (int k = 0; bCarry && k + EOF_BYTES <= SEAM_BYTES + nFirst; ++k)
            if (memcmp(ucSeam + k, sm_ucPdfEof, EOF_BYTES) == 0) vecEofEnds.push_back(k + EOF_BYTES - SEAM_BYTES);
        for (long long llAt = FindMarker(pData, nLen, 0, sm_ucPdfEof, EOF_BYTES); llAt >= 0;
             llAt = FindMarker(pData, nLen, static_cast<int>(llAt) + 1, sm_ucPdfEof, EOF_BYTES))
            vecEofEnds.push_back(llAt + EOF_BYTES);
        if (nLen >= SEAM_BYTES) {
            memcpy(m_ucCarry, pData + nLen - SEAM_BYTES, SEAM_BYTES);
            m_bCarry = true;
            m_u64CarryEnd = u64Base + nLen;
        }

        const bool bBeforeLimit = !vecEofEnds.empty() && vecEofEnds.front() - EOF_BYTES < nLimit;
        if (!bBeforeLimit && SawEof()) return;
        const long long llLimit = bBeforeLimit ? nLimit : nLen;
        for (long long llEnd : vecEofEnds)
            if (llEnd - EOF_BYTES < llLimit) Eof(u64Base + llEnd, pData + llEnd, static_cast<size_t>(nLen - llEnd));
        if (SawEof()) return;
        const long long llTrailer = FindLastBefore(pData, nLen, llLimit, sm_ucPdfTrailer);
        if (llTrailer >= 0) m_u64LastTrailerEnd = u64Base + llTrailer + sizeof(sm_ucPdfTrailer);
    }

    // True once a "%%EOF" was found that no update follows.
    bool Final() const { return m_bFinal; }
    // The end the markers seen give, or 0.
    unsigned long long End() const { return m_u64LastEofEnd != 0 ? m_u64LastEofEnd : m_u64LastTrailerEnd; }
    bool SawEof() const { return m_u64LastEofEnd != 0; }
    bool Stopped() const { return m_bytes.Stopped(); }

private:
    // Offset of the last marker in pData that starts before llLimit, or -1.
    template <size_t N>
    static long long FindLastBefore(const unsigned char* pData, int nLen, long long llLimit, const unsigned char (&ucMarker)[N]) {
        long long llLast = -1;
        for (long long llAt = FindMarker(pData, nLen, 0, ucMarker, N); llAt >= 0 && llAt < llLimit;
             llAt = FindMarker(pData, nLen, static_cast<int>(llAt) + 1, ucMarker, N))
            llLast = llAt;
        return llLast;
    }

    // A "%%EOF" ending at file offset u64End; pAfter holds the nAfter bytes that follow it in the
    // buffer, and the device is asked when they are too few to decide.
    void Eof(unsigned long long u64End, const unsigned char* pAfter, size_t nAfter) {
        if (nAfter < LOOKAHEAD_BYTES) {
            size_t nGot = 0;
            const unsigned char* pRead = m_bytes.PeekUpTo(u64End, LOOKAHEAD_BYTES, nGot);
            if (pRead != nullptr && nGot > nAfter) pAfter = pRead, nAfter = nGot;
        }
        size_t nEol = 0;
        if (nAfter > 0 && pAfter[0] == '\r') nEol = nAfter > 1 && pAfter[1] == '\n' ? 2 : 1;
        else if (nAfter > 0 && pAfter[0] == '\n') nEol = 1;
        m_u64LastEofEnd = u64End + nEol;
        m_bFinal = !UpdateStartsAt(pAfter + nEol, nAfter - nEol);
    }

    CCarvedFileBytes m_bytes;
    unsigned char m_ucCarry[SEAM_BYTES] = {};
    bool m_bCarry = false;
    unsigned long long m_u64CarryEnd = 0;  // file offset just past the carried bytes
    unsigned long long m_u64LastEofEnd = 0;
    unsigned long long m_u64LastTrailerEnd = 0;
    bool m_bFinal = false;
};

}  // namespace

unsigned long long GetPDFFileBytesSize(const unsigned char* pHead, int nLen) {
    CPdfEnd pdf;
    const int nHead = pHead == nullptr || J::m_nBytesPerSector <= 0 ? 0 : std::min(nLen, J::m_nBytesPerSector);
    if (nHead > 0) pdf.Scan(pHead, nHead, 0, nHead);
    if (pdf.Final()) return pdf.End();
    unsigned long long u64Walked = RunForwardWalk(
        PDF_CAP_BYTES, J::IsEndOfFile, [&pdf](const _FORWARD_WALK_CHUNK_& chunk, unsigned long long& u64Size) {
            int nLimit = chunk.nLen;
            if (chunk.bEndSearchFound)
                nLimit = static_cast<int>(std::min<unsigned long long>(chunk.u64EndSearchSize - chunk.u64BytesBefore, chunk.nLen));
            pdf.Scan(chunk.pData, chunk.nLen, chunk.u64BytesBefore, nLimit);
            if (pdf.Stopped()) {  // the user's stop answer stays for the caller
                u64Size = chunk.u64BytesBefore;
                return FORWARD_WALK_END_HERE;
            }
            if ((!pdf.Final() && !chunk.bEndSearchFound) || pdf.End() == 0) return FORWARD_WALK_GO_ON;
            u64Size = std::min(pdf.End(), PDF_CAP_BYTES);
            return FORWARD_WALK_END_HERE;
        });
    return pdf.End() != 0 ? std::min(pdf.End(), PDF_CAP_BYTES) : u64Walked;
}
