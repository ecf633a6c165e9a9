// The program's own resources, handed to the window layer the way a module handle is: dialog
// templates and icon images, each found by its resource id. The images are PNG files compiled
// into the program, one per size of an icon.
#pragma once

#include <cstddef>
#include <span>

#include "platform/window/dialog_template.h"

struct IconImage {
    int id;
    int size;  // width and height in pixels
    const unsigned char* png;
    std::size_t length;
};

struct ResourceModule {
    std::span<const DialogTemplate> dialogs;
    std::span<const IconImage> icons;
    int programIconId;  // the icon the desktop shows for the program's windows
};

// The template with `id`, or nullptr.
const DialogTemplate* FindDialogTemplate(const ResourceModule& module, int id);

// An icon with every size the module has for `id`; nullptr when it has none. Icons are loaded
// once and live as long as the program, so the pointer may be kept.
struct Icon;
const Icon* LoadIcon(const ResourceModule& module, int id);
