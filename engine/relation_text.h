#pragma once
// The relation file of a result store: which node numbers lie in which folder, as 8-bit text
// without line breaks. Every folder key gives one record
//     " | " key " - [" child "," child ... "]"
// and the records follow each other in ascending key order.
#include <cstddef>
#include <functional>
#include <map>
#include <vector>

// Folder key ((level << 32) | folder nDirIndex) -> node numbers in the order they were added.
typedef std::map<unsigned long long, std::vector<unsigned int>> RELATION_MAP;

// Reads every well-formed record of pText (nLen bytes, NUL not needed, any bytes allowed) into
// relations; a record's list replaces the list its key had. Records that are cut off, malformed,
// empty, or that hold a number out of range (0, or more than 32 bits for a node) are skipped and
// parsing resumes at the next " | ".
void ParseRelationText(const char* pText, size_t nLen, RELATION_MAP& relations);

// Hands the text of every record, in key order, to sink in pieces of at most 64 KiB, so the
// text of a large map is never built whole. Stops and returns false as soon as sink does.
bool FormatRelationText(const RELATION_MAP& relations,
                        const std::function<bool(const char* pData, size_t nLen)>& sink);
