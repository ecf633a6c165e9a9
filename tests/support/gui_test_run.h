// What every GUI test program's main() does: a private runtime directory for Qt, then all
// tests with the real application object and message boxes.
#pragma once

#include <string>

// A fresh 0700 directory (as Qt wants) set as XDG_RUNTIME_DIR, removed when the object goes.
class PrivateRuntimeDirectory {
public:
    PrivateRuntimeDirectory();
    ~PrivateRuntimeDirectory();
    PrivateRuntimeDirectory(const PrivateRuntimeDirectory&) = delete;
    PrivateRuntimeDirectory& operator=(const PrivateRuntimeDirectory&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// RUN_ALL_TESTS() inside a QApplication on the platform the environment names.
int RunAllTestsWithApplication(int argc, char** argv);
