#include "util/text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <mutex>

#include "util/le.h"

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
const wchar_t kReplacementChar = 0xFFFD;

enum ConverterId { GB_TO_WIDE, WIDE_TO_GB, UTF8_TO_WIDE, WIDE_TO_UTF8, CONVERTER_COUNT };

struct ConverterNames {
    const char* szTo;
    const char* szFrom;
};
// WCHAR_T is glibc's native UCS-4: no byte-order mark, one element per character.
const ConverterNames kConverterNames[CONVERTER_COUNT] = {
    {"WCHAR_T", "GB18030"},
    {"GB18030", "WCHAR_T"},
    {"WCHAR_T", "UTF-8"},
    {"UTF-8", "WCHAR_T"},
};

// iconv_open reads gconv modules from disk and an open handle keeps conversion state, so each
// thread opens its own handles once and keeps them for its lifetime.
class CThreadConverters {
public:
    CThreadConverters() {
        for (int i = 0; i < CONVERTER_COUNT; ++i) {
            m_hConverter[i] = kNoConverter;
            m_bTried[i] = false;
        }
    }
    ~CThreadConverters() {
        for (iconv_t h : m_hConverter)
            if (h != kNoConverter) iconv_close(h);
    }
    CThreadConverters(const CThreadConverters&) = delete;
    CThreadConverters& operator=(const CThreadConverters&) = delete;

    iconv_t Get(ConverterId id) {
        if (!m_bTried[id]) {
            m_bTried[id] = true;
            m_hConverter[id] = iconv_open(kConverterNames[id].szTo, kConverterNames[id].szFrom);
        }
        return m_hConverter[id];
    }

private:
    iconv_t m_hConverter[CONVERTER_COUNT];
    bool m_bTried[CONVERTER_COUNT];
};

thread_local CThreadConverters t_converters;

// 8-bit -> wide. A byte that starts no valid sequence becomes U+FFFD and decoding resumes at the
// next byte, so one damaged byte in a recovered name costs one character, not the name.
std::wstring DecodeBytes(ConverterId id, const char* szIn) {
    std::wstring strOut;
    if (szIn == nullptr) return strOut;
    size_t nInLeft = strlen(szIn);
    iconv_t hConv = t_converters.Get(id);
    if (hConv == kNoConverter) {
        // No codec installed: keep what is plain ASCII.
        for (size_t i = 0; i < nInLeft; ++i) {
            unsigned char c = static_cast<unsigned char>(szIn[i]);
            strOut += c < 0x80 ? static_cast<wchar_t>(c) : kReplacementChar;
        }
        return strOut;
    }
    iconv(hConv, nullptr, nullptr, nullptr, nullptr);
    char* pIn = const_cast<char*>(szIn);
    wchar_t wszChunk[256];
    while (nInLeft > 0) {
        char* pOut = reinterpret_cast<char*>(wszChunk);
        size_t nOutLeft = sizeof(wszChunk);
        size_t nResult = iconv(hConv, &pIn, &nInLeft, &pOut, &nOutLeft);
        int nError = errno;
        strOut.append(wszChunk, (sizeof(wszChunk) - nOutLeft) / sizeof(wchar_t));
        if (nResult != static_cast<size_t>(-1) || nError == E2BIG) continue;
        // EILSEQ, or EINVAL for a sequence cut short by the end of the text.
        strOut += kReplacementChar;
        ++pIn;
        --nInLeft;
        iconv(hConv, nullptr, nullptr, nullptr, nullptr);
    }
    return strOut;
}

// wchar_t is signed on some targets and unsigned on others; compare as unsigned.
bool IsUnicodeScalar(wchar_t wc) {
    uint32_t u32 = static_cast<uint32_t>(wc);
    return u32 <= 0x10FFFF && (u32 < 0xD800 || u32 > 0xDFFF);
}

// wide -> 8-bit. A character the target cannot hold (or a value that is no character at all)
// becomes '?' and encoding goes on.
std::string EncodeWide(ConverterId id, const wchar_t* pIn) {
    std::string strOut;
    if (pIn == nullptr) return strOut;
    iconv_t hConv = t_converters.Get(id);
    if (hConv == kNoConverter) {
        for (const wchar_t* p = pIn; *p != 0; ++p)
            strOut += static_cast<uint32_t>(*p) < 0x80 ? static_cast<char>(*p) : '?';
        return strOut;
    }
    // Surrogates and values past U+10FFFF are no characters; the UTF-8 encoder would still emit
    // bytes for some of them, which nothing could decode again.
    std::wstring strClean(pIn);
    for (wchar_t& wc : strClean)
        if (!IsUnicodeScalar(wc)) wc = L'?';
    iconv(hConv, nullptr, nullptr, nullptr, nullptr);
    char* pInBytes = reinterpret_cast<char*>(&strClean[0]);
    size_t nInLeft = strClean.size() * sizeof(wchar_t);
    char szChunk[1024];
    while (nInLeft > 0) {
        char* pOut = szChunk;
        size_t nOutLeft = sizeof(szChunk);
        size_t nResult = iconv(hConv, &pInBytes, &nInLeft, &pOut, &nOutLeft);
        int nError = errno;
        strOut.append(szChunk, sizeof(szChunk) - nOutLeft);
        if (nResult != static_cast<size_t>(-1) || nError == E2BIG) continue;
        strOut += '?';
        size_t nSkip = nInLeft < sizeof(wchar_t) ? nInLeft : sizeof(wchar_t);
        pInBytes += nSkip;
        nInLeft -= nSkip;
        iconv(hConv, nullptr, nullptr, nullptr, nullptr);
    }
    return strOut;
}

// Length of the GB18030 character at p (text produced by the encoder, so well formed):
// ASCII is one byte, a lead byte with a digit second byte starts a four-byte form, else two.
size_t Gb18030CharLen(const unsigned char* p, size_t nLeft) {
    if (p[0] < 0x80 || nLeft < 2) return 1;
    if (p[1] >= 0x30 && p[1] <= 0x39) return nLeft >= 4 ? 4 : nLeft;
    return 2;
}

// Longest prefix of GB18030 text that fits in nMaxBytes without splitting a character.
size_t Gb18030CutLength(const std::string& strText, size_t nMaxBytes) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(strText.data());
    size_t nPos = 0;
    while (nPos < strText.size()) {
        size_t nLen = Gb18030CharLen(p + nPos, strText.size() - nPos);
        if (nPos + nLen > nMaxBytes) break;
        nPos += nLen;
    }
    return nPos;
}

// The pair opened by inner_initUnicodeMap, shared by the whole process.
std::mutex g_mapLock;
std::string g_strMapEncoding;
iconv_t g_hToUnicode = kNoConverter;
iconv_t g_hFromUnicode = kNoConverter;

void CloseUnicodeMap() {
    if (g_hToUnicode != kNoConverter) iconv_close(g_hToUnicode);
    if (g_hFromUnicode != kNoConverter) iconv_close(g_hFromUnicode);
    g_hToUnicode = kNoConverter;
    g_hFromUnicode = kNoConverter;
}

}  // namespace

long inner_str2uni(wchar_t* out, const char* in, long /*lInLen*/, long lOutCapacity) {
    if (out == nullptr) return 0;
    std::wstring strWide = DecodeBytes(GB_TO_WIDE, in);
    size_t nLen = strWide.size();
    if (lOutCapacity > 0 && nLen > static_cast<size_t>(lOutCapacity - 1))
        nLen = static_cast<size_t>(lOutCapacity - 1);
    wmemcpy(out, strWide.data(), nLen);
    out[nLen] = 0;
    return static_cast<long>(nLen);
}

long inner_uni2str(char* out, const wchar_t* in, long /*lInLen*/, long lOutCapacity) {
    if (out == nullptr) return 0;
    std::string strBytes = EncodeWide(WIDE_TO_GB, in);
    size_t nLen = strBytes.size();
    if (lOutCapacity > 0 && nLen > static_cast<size_t>(lOutCapacity - 1))
        nLen = Gb18030CutLength(strBytes, static_cast<size_t>(lOutCapacity - 1));
    memcpy(out, strBytes.data(), nLen);
    out[nLen] = '\0';
    return static_cast<long>(nLen);
}

int Ansi2Unicode(const char* szIn, wchar_t* pOut, int nOutCapacity) {
    inner_str2uni(pOut, szIn, 0, nOutCapacity);
    return 0;
}

int Unicode2Ansi(const wchar_t* pIn, char* szOut, int nOutCapacity) {
    inner_uni2str(szOut, pIn, 0, nOutCapacity);
    return 0;
}

std::wstring Ansi2Unicode(const char* szIn) {
    return DecodeBytes(GB_TO_WIDE, szIn);
}

std::string Unicode2Ansi(const wchar_t* pIn) {
    return EncodeWide(WIDE_TO_GB, pIn);
}

std::string Unicode2Path(const wchar_t* pIn) {
    return EncodeWide(WIDE_TO_UTF8, pIn);
}

std::wstring Path2Unicode(const char* szIn) {
    return DecodeBytes(UTF8_TO_WIDE, szIn);
}

int inner_initUnicodeMap(const char* szEncoding) {
    std::lock_guard<std::mutex> guard(g_mapLock);
    CloseUnicodeMap();
    g_strMapEncoding.clear();
    if (szEncoding == nullptr) return -1;
    g_hToUnicode = iconv_open("UNICODELITTLE", szEncoding);
    if (g_hToUnicode == kNoConverter) return -1;
    g_hFromUnicode = iconv_open(szEncoding, "UNICODELITTLE");
    if (g_hFromUnicode == kNoConverter) {
        CloseUnicodeMap();
        return -1;
    }
    g_strMapEncoding = szEncoding;
    return 0;
}

char* GetCharLowerA(char* sz) {
    if (sz == nullptr) return sz;
    for (char* p = sz; *p != '\0'; ++p)
        if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
    return sz;
}

wchar_t* GetCharLowerW(wchar_t* wsz) {
    if (wsz == nullptr) return wsz;
    for (wchar_t* p = wsz; *p != 0; ++p)
        if (*p >= L'A' && *p <= L'Z') *p = static_cast<wchar_t>(*p - L'A' + L'a');
    return wsz;
}

int Convert2Lowercase(char* sz) {
    if (sz == nullptr) return 0;
    GetCharLowerA(sz);
    return static_cast<int>(strlen(sz));
}

std::wstring DecodeUtf16Le(const unsigned char* pBytes, size_t nUnits) {
    std::wstring strOut;
    strOut.reserve(nUnits);
    auto isHigh = [](uint16_t u) { return u >= 0xD800 && u <= 0xDBFF; };
    auto isLow = [](uint16_t u) { return u >= 0xDC00 && u <= 0xDFFF; };
    for (size_t i = 0; i < nUnits; ++i) {
        const uint16_t u = ReadLe16(pBytes + 2 * i);
        if (isHigh(u) && i + 1 < nUnits && isLow(ReadLe16(pBytes + 2 * (i + 1)))) {
            strOut += static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (ReadLe16(pBytes + 2 * (i + 1)) - 0xDC00));
            ++i;
        } else {
            strOut += isHigh(u) || isLow(u) ? static_cast<wchar_t>(0xFFFD) : static_cast<wchar_t>(u);
        }
    }
    return strOut;
}
