#pragma once
#include <string>
// Path helpers: split a path, take an extension, count folder levels, and find a destination
// name that does not exist yet.

// Size of each part buffer handed to _splitpath and of the ext buffer of GetExtendName.
// Parts longer than KORVALO_PATH_PART_SIZE - 1 bytes are cut there (always NUL-terminated).
constexpr int KORVALO_PATH_PART_SIZE = 256;

// Splits path into dir (up to and including the last "/"), fname and ext (from the last "."
// of the name, the "." included). drive is always empty. A path ending in "/" is all dir.
// A null path gives empty parts. Each output buffer may be null; otherwise it must hold
// KORVALO_PATH_PART_SIZE bytes.
void _splitpath(const char* szPath, char* szDrive, char* szDir, char* szFname, char* szExt);

// ext = the text after the last "." of szName (no "."), cut to KORVALO_PATH_PART_SIZE - 1
// bytes; szExt must hold KORVALO_PATH_PART_SIZE bytes. 0, or 87 for a null pointer or a name
// without ".".
int GetExtendName(const char* szName, char* szExt);

// nCount = the "/" and "\" in wszPath, not counting its last character; 0 for paths shorter than
// 2 characters. 0, or 87 for a null path (nCount = 0 then).
int GetPathDirIndex(const wchar_t* wszPath, int& nCount);

// The name under which a file about to be saved at szPath (UTF-8) will not overwrite anything:
// A found name as one path component: '/' and NUL become '_', and an empty, "." or ".." name
// becomes "_", so a damaged or crafted record cannot lead a recovery out of its folder.
std::wstring MakeSafePathComponent(std::wstring wstrName);

// szPath itself when nothing exists there, else "<dir><fname>(n)<ext>" for the first free n.
// Only an answer for now: a file created under it may meet one made meanwhile, so recovered files
// are created through CSafeWriter (util/safe_writer.h), which takes the free name as it creates.
// Writes it as wide text to pOut. Returns 0; 87 for null arguments or when the name plus its
// NUL would not fit in nOutCapacity characters (nothing is written then).
int GetRealFileName(const char* szPath, wchar_t* pOut, int nOutCapacity);
