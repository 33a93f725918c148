#pragma once
// Icons of the results browser: an extension (or a category name such as "photo_default") and
// the resource path of its picture.

struct _FILE_TYPE_ICON_ {
    const char* szExtendName;
    const char* szIconPath;
};

// 82 rows and a terminator row of two nulls.
constexpr int FILE_TYPE_ICON_ROWS = 83;
extern const _FILE_TYPE_ICON_ szFileTypeStr[FILE_TYPE_ICON_ROWS];

// Icon path of the row whose name equals szName ignoring ASCII case (whole text), or null.
const char* FindFileTypeIcon(const char* szName);
