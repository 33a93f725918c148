#pragma once
// The style sheets the window and its dialogs share, as literal texts, and the version text.

// Title and bottom bars.
constexpr const char* BAR_BACKGROUND_STYLE = "background-color: rgb(47, 79, 79);";
// The grey rounded buttons (also the main buttons while they are disabled).
constexpr const char* GREY_BUTTON_STYLE =
    "QPushButton{background-color:rgb(191, 191, 191);color: gray;\t\t\t\t\t\t\t\t   border-radius: 10px; "
    "border: 2px groove white;\t\t\t\t\t\t\t\t   border-style: outset;}QPushButton:hover{background-color:rgb(156, "
    "156, 156); }QPushButton:pressed{background-color:rgb(156, 156, 156);border: 2px groove white;\t\t\t\t\t\t\t\t   "
    "border-style: inset; }";
// The main buttons while they can be pressed.
constexpr const char* MAIN_BUTTON_STYLE =
    "QPushButton{background-color:rgb(16, 78, 159);\t\t\t\t\t\t\t  color: white; border-radius: 10px; border: 2px "
    "groove white;\t\t\t\t\t\t\t  border-style: outset;}QPushButton:hover{background-color:rgb(156, 156, 156); "
    "}QPushButton:pressed{background-color:rgb(156, 156, 156);border: 2px groove white;\t\t\t\t\t\t\t  "
    "border-style: inset; }";
// The category area of the start page.
constexpr const char* CATEGORY_AREA_STYLE = "background-color: rgb(46, 139, 87);";
// The area of the "Start" button, also the header of the device page.
constexpr const char* START_AREA_STYLE = "background-color: rgb(236, 246, 255);";
// The thin line under each title bar.
constexpr const char* GREY_LINE_STYLE = "background-color: rgb(191, 191, 191);";
// The category tiles.
constexpr const char* PHOTO_TILE_STYLE = "background-color: rgb(180, 160, 200);";
constexpr const char* MUSIC_TILE_STYLE = "background-color: rgb(250, 181, 160);";
constexpr const char* VIDEO_TILE_STYLE = "background-color: rgb(152, 215 ,245);";
// Rows of the device tree.
constexpr const char* DISK_TREE_STYLE = "QTreeWidget::item{height:30px};";

// Shown at the left of every bottom bar.
constexpr const char* VERSION_TEXT = "Version 1.8.8.9";
