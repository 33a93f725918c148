#pragma once
// Replacing a small file of our own folders whole, so a crash or a full disk never leaves half of
// it: written to "<path>.tmp" (made fresh, never through a link planted there), flushed, then
// renamed over the path.
#include <cstddef>
#include <string>

// A reader sees the old content or the new, never a part. On failure the file is untouched and no
// ".tmp" is left behind. 0 or errno.
int ReplaceFileWhole(const std::string& strPath, const void* pData, size_t nLen);
