// How the port names that the user picks or types become Linux device paths.
//
// "COM0:" to "COM9:" (any "COM<digits>:") are looked up first as a link named "COM<n>" in the
// port directory: $QUARNEX_PORTS_DIR, else $XDG_CONFIG_HOME/quarnex/ports, else
// ~/.config/quarnex/ports. So `ln -s /dev/ttyACM0 ~/.config/quarnex/ports/COM1` makes "COM1:"
// the user's own receiver. Without such a link "COM<n>:" is /dev/ttyS<n>. Every other text is a
// device path and is used exactly as typed.
#pragma once

#include <string>

std::string ResolvePortName(const char* name);
