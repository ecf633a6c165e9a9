// The program's entry: prepares the process and runs the main dialog until the user exits.
#pragma once

#include "platform/window/program_entry.h"
#include "platform/window/resources.h"

// The program's own resources, kept from WinMain() for loading icons.
extern const ResourceModule* programInstance;
