// What every GUI test program's main() does: a private runtime directory for Qt, then all
// tests with the real application object and message boxes.
#pragma once

#include <string>

#include "tests/support/scratch.h"

// A fresh 0700 directory (mkdtemp's, as Qt wants) set as XDG_RUNTIME_DIR, removed and the
// variable given back when the object goes.
class PrivateRuntimeDirectory {
public:
    PrivateRuntimeDirectory()
        : directory_("quarnex-gui-test"), variable_("XDG_RUNTIME_DIR", directory_.Path().c_str())
    {
    }

    std::string Path() const { return directory_.Path().string(); }

private:
    ScratchDirectory directory_;
    ScopedEnvironmentVariable variable_;
};

// RUN_ALL_TESTS() inside a QApplication on the platform the environment names.
int RunAllTestsWithApplication(int argc, char** argv);
