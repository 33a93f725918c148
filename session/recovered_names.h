#pragma once
// The names recovered files get on the destination, made from what the scan found. A name from
// a damaged or crafted record must never lead a file out of its folder.
#include <string>

#include "engine/file_node.h"

// A record's name (8-bit codec) as UTF-8, for display.
std::string NodeNameUtf8(const _FILE_NODE_& node);
// The same as one safe path component (util's MakeSafePathComponent rule), UTF-8.
std::string SafeNodeComponentUtf8(const _FILE_NODE_& node);
// A found folder path "A/B/" (either separator) made of safe components, "A/B/" again; "" for "".
std::string SafeRelativeFolder(const std::string& strFolder);
