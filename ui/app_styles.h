#pragma once
// The style sheets the window and its dialogs share, as literal texts.

// Title and bottom bars.
constexpr const char* BAR_BACKGROUND_STYLE = "background-color: rgb(47, 79, 79);";
// The grey rounded buttons (also the main buttons while they are disabled).
constexpr const char* GREY_BUTTON_STYLE =
    "QPushButton{background-color:rgb(191, 191, 191);color: gray;\t\t\t\t\t\t\t\t   border-radius: 10px; "
    "border: 2px groove white;\t\t\t\t\t\t\t\t   border-style: outset;}QPushButton:hover{background-color:rgb(156, "
    "156, 156); }QPushButton:pressed{background-color:rgb(156, 156, 156);border: 2px groove white;\t\t\t\t\t\t\t\t   "
    "border-style: inset; }";
