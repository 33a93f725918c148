#pragma once
// The name held by a $FILE_NAME attribute, and its form inside a node.
#include <cstdint>
#include <string>

#include "engine/file_node.h"

// The UTF-16LE name of the $FILE_NAME attribute at pAttribute (u32AttrLength bytes) as wide text.
// Surrogate pairs are joined; a lone surrogate becomes U+FFFD. False, with strName untouched,
// when the attribute is too short for its value header or its name.
bool DecodeNtfsFileName(const unsigned char* pAttribute, uint32_t u32AttrLength, std::wstring& strName);

// The 8-bit node name (NUL-terminated, at most nCapacity bytes with the NUL) of a decoded name.
// Names become path components when files are saved, so "/" and NUL become "_", and "." or ".."
// becomes "_": a crafted record must not steer a recovery outside its destination folder.
void MakeNtfsNodeName(const std::wstring& strName, char* szOut, int nCapacity);

// Sets the node's times, size and name from the $FILE_NAME attribute at pAttribute
// (u32AttrLength bytes). False, with the node untouched, when the attribute cannot hold its name.
bool FillNodeFromNtfsFileName(const unsigned char* pAttribute, uint32_t u32AttrLength, _FILE_NODE_& node);
