#pragma once
// The texts of the results browser: its group and extension rows, the selection summary, and
// the text view of a file that is no picture.
#include <QByteArray>
#include <QString>

#include "carving/file_category.h"

// "Photo(3)", "Music(1)", ... in the order of RESULT_GROUP.
QString ResultGroupRowText(RESULT_GROUP eGroup, size_t nFiles);
// "jpg Files (2)".
QString ExtensionRowText(const QString& strKey, size_t nFiles);
// "Select 1.50 MB in 1 file" below 2 files, "... in 2 files" from 2 on.
QString SelectionSummary(unsigned long long u64Bytes, size_t nFiles);
// The first bytes of a file as they are, a zero byte shown as '.', a line end after every 256
// bytes and exactly one at the end (an empty buffer gives just the line end). The bytes stay
// 8-bit text: they are not turned into hexadecimal.
QByteArray WinHexBufData(const unsigned char* pBuf, int nLen);
