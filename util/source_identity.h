#pragma once
// Telling sources apart: the same device or image file under different spellings of its path,
// and the same path after its contents changed. Saved scans are matched to sources with these.
#include <string>

// The absolute path of a source with links resolved; for a path that does not resolve (gone,
// unreadable folder) the path made absolute as given.
std::string CanonicalSourcePath(const std::string& strPath);

// A 64-bit fingerprint of the source at szPath that changes when it is replaced or rewritten:
// which device or file it is (device number, or file system and inode and modification time),
// its size, and its first MiB and samples spread over the rest. 0 when it cannot be opened.
// Content changes that miss every sample and leave the size alone go unnoticed; on a device that
// is not mounted nothing else writes, so that is rare there.
unsigned long long SourceFingerprint(const char* szPath);
