// What a test changes around it for its own length only: an environment variable, a scratch
// directory, the links of a port directory. Each object undoes its change when it goes out of
// scope, so also when an ASSERT ends the test early or an exception leaves it.
//
// The environment is process-wide: change it only while no other thread of the test reads it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Sets the variable `name` to `value`, or unsets it for nullptr; on destruction gives it back
// the value it had before, or unsets it again when it had none.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(std::string name, const char* value);
    ~ScopedEnvironmentVariable();
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    std::string name_;
    std::optional<std::string> saved_;
};

// A fresh directory "/tmp/<prefix>-XXXXXX" of mkdtemp's, removed with all it holds on
// destruction. Throws std::runtime_error when it cannot be made.
class ScratchDirectory {
public:
    explicit ScratchDirectory(const std::string& prefix = "quarnex-test");
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// A port directory of the test's own, where COM<n> links name the devices behind "COM<n>:":
// QUARNEX_PORTS_DIR points at it while the object lives.
class PortLinks {
public:
    PortLinks();

    const std::filesystem::path& Path() const { return directory_.Path(); }
    // Makes `name` ("COM1") a link to `device`, in place of an earlier link of that name.
    void Link(const std::string& name, const std::string& device);

private:
    ScratchDirectory directory_;
    ScopedEnvironmentVariable variable_;
};
