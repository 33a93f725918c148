#pragma once
// Wide text (wchar_t, UTF-32 here) and the two 8-bit forms:
//  - the 8-bit codec of names kept in records: GB18030, a byte-identical superset of GB2312
//    that can hold every character, so no recovered name is lost to '?';
//  - OS paths, which are UTF-8.
#include <string>

// 8-bit (GB18030) -> wide into out; returns the wide length. The caller's out must hold the
// result; when lOutCapacity > 0 at most lOutCapacity - 1 characters are written plus the NUL.
// lInLen is not used (the input is NUL-terminated).
long inner_str2uni(wchar_t* out, const char* in, long lInLen, long lOutCapacity);
// wide -> 8-bit (GB18030); returns the byte length; the same capacity rule in bytes.
long inner_uni2str(char* out, const wchar_t* in, long lInLen, long lOutCapacity);

// The same conversions, returning 0. nOutCapacity as above (characters / bytes; <= 0 unbounded).
int Ansi2Unicode(const char* szIn, wchar_t* pOut, int nOutCapacity);
int Unicode2Ansi(const wchar_t* pIn, char* szOut, int nOutCapacity);

// Into owned strings; a null input gives an empty string.
std::wstring Ansi2Unicode(const char* szIn);
std::string Unicode2Ansi(const wchar_t* pIn);

// nUnits UTF-16LE code units from pBytes as wide text: surrogate pairs are joined, a lone
// surrogate becomes U+FFFD. The caller makes sure 2 x nUnits bytes are there.
std::wstring DecodeUtf16Le(const unsigned char* pBytes, size_t nUnits);

// OS paths: wide <-> UTF-8.
std::string Unicode2Path(const wchar_t* pIn);
std::wstring Path2Unicode(const char* szIn);

// Opens the process-wide converter pair encoding <-> "UNICODELITTLE". Returns 0, or -1 when
// either cannot be opened (nothing stays open then). Called once at start-up.
int inner_initUnicodeMap(const char* szEncoding);

// 'A'-'Z' -> 'a'-'z' in place, nothing else; return the same pointer.
char* GetCharLowerA(char* sz);
wchar_t* GetCharLowerW(wchar_t* wsz);
// The same in place; returns the length.
int Convert2Lowercase(char* sz);
