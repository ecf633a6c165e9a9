// What a dialog procedure does with its window and controls, by control id. Texts are UTF-8.
// GUI thread only.
#pragma once

#include <cstddef>

struct Dialog;

// A control's text is read as at most 63 characters (the handheld's 64-character buffer);
// this many bytes hold them in UTF-8 with the terminating 0.
inline constexpr std::size_t kControlTextMaxChars = 63;
inline constexpr std::size_t kControlTextBufferSize = 4 * kControlTextMaxChars + 1;

// Lists (combo boxes): insert `text` at `position` (items behind it move down), select an item.
void InsertListItem(Dialog* dialog, int id, int position, const char* text);
void SelectListItem(Dialog* dialog, int id, int position);

// Check boxes: 1 checked, 0 not.
void SetCheck(Dialog* dialog, int id, int checked);
int GetCheck(Dialog* dialog, int id);

// Copies at most kControlTextMaxChars whole characters of the control's text into `buffer`
// (`size` bytes, 0-terminated); returns the byte length copied.
std::size_t GetControlText(Dialog* dialog, int id, char* buffer, std::size_t size);
void SetControlText(Dialog* dialog, int id, const char* text);

void EnableControl(Dialog* dialog, int id, bool enable);

// The dialog window itself.
void ShowDialog(Dialog* dialog, bool show);
// Raises and activates the window, or does so once it is shown.
void BringDialogToFront(Dialog* dialog);

// Width of the primary screen in pixels.
int ScreenWidth();
