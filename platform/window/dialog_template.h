// A dialog as plain data, the way the program's resources describe it: caption, style and size
// of the window, and for each control its id, kind, style, text and rectangle. Rectangles are in
// dialog units (a quarter of the dialog font's average character width across, an eighth of its
// height down), so the layout follows the font instead of the screen's pixel size.
#pragma once

#include <span>

struct DialogRect {
    int x;
    int y;
    int width;
    int height;
};

enum class ControlKind { kPushButton, kStaticText, kComboBox, kCheckBox, kGroupBox };

// The control styles the window layer knows; a control combines them with |.
enum ControlStyle : unsigned {
    kTabStop = 1u << 0,
    kGroupStart = 1u << 1,
    kTextRight = 1u << 2,
    kTextCentered = 1u << 3,
    kCenteredVertically = 1u << 4,
    kBorder = 1u << 5,
    kEditableList = 1u << 6,  // a combo box whose field takes any typed text
    kSortedList = 1u << 7,    // sorts only appended items; inserted ones keep their position
    kVerticalScrollBar = 1u << 8,
    kAutoCheckBox = 1u << 9,  // toggles itself when clicked
};

// The dialog styles the window layer knows.
enum DialogStyle : unsigned {
    kPopupWindow = 1u << 0,
    kCaption = 1u << 1,
    kModalFrame = 1u << 2,
    kOwnFont = 1u << 3,
    kCaptionOkButton = 1u << 4,  // the handheld's OK button in the caption
};

// Controls without an id of their own (labels, frames).
inline constexpr int IDC_STATIC = -1;

struct ControlTemplate {
    int id;
    ControlKind kind;
    unsigned style;
    const char* text;
    DialogRect rect;
};

struct DialogTemplate {
    int id;
    unsigned style;
    const char* caption;
    DialogRect rect;
    const char* fontFace;
    int pointSize;
    std::span<const ControlTemplate> controls;
};
