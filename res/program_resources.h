// Everything the program carries besides its code: the main dialog's template, the icons and
// the version, as plain data.
#pragma once

#include "platform/window/resources.h"

extern const ResourceModule kProgramResources;

// The idle status text is also the status control's text in the template.
inline constexpr char kIdleStatusText[] = "Überwachung ist nicht aktiv";
