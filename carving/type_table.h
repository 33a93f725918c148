#pragma once
// The type table: extension, type code, signature test and size rule of every format the
// carver knows. Its order is the order of the detection walk, so it is also the tie-break
// between overlapping signatures; a code's name and size rule are those of the first row with
// that code.
#include "carving/extend_name_type.h"
#include "carving/size_rules.h"

typedef EXTEND_NAME_TYPE (*PFN_IS_TYPE)(const unsigned char* pBuf, int nLen);

struct _EXTEND_NAME_AND_TYPE_ {
    const char* szExtendName;                     // lower case, no dot
    EXTEND_NAME_TYPE nFileType;
    PFN_IS_TYPE pfnIsType;
    PFN_GET_FILE_BYTES_SIZE pfnGetFileBytesSize;  // null: the type has no size rule
    // The bytes a head of this type can begin with: the detection walk asks the test only for
    // buffers that start with one of them. Null: the signature lies past offset 0, so the test is
    // asked whatever the first byte.
    const char* pLeadBytes;
    int nLeadBytes;
};

// 107 rows of formats and a terminator row (null name, EXT_UNKNOWN, null functions).
constexpr int EXTEND_NAME_TABLE_ROWS = 108;
extern const _EXTEND_NAME_AND_TYPE_ szExtendNameAndType[EXTEND_NAME_TABLE_ROWS];

// The first row whose nFileType is nType, or null (also for EXT_UNKNOWN).
const _EXTEND_NAME_AND_TYPE_* FindFirstRowOfType(EXTEND_NAME_TYPE nType);
// The first row whose extension equals szExt ignoring ASCII case, or null.
const _EXTEND_NAME_AND_TYPE_* FindFirstRowOfExtension(const char* szExt);
