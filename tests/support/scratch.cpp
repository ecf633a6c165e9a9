#include "tests/support/scratch.h"

#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace {

void PutVariable(const std::string& name, const char* value)
{
    if (value)
        setenv(name.c_str(), value, 1);
    else
        unsetenv(name.c_str());
}

}  // namespace

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name, const char* value)
    : name_(std::move(name))
{
    if (const char* earlier = std::getenv(name_.c_str())) saved_ = earlier;
    PutVariable(name_, value);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable()
{
    PutVariable(name_, saved_ ? saved_->c_str() : nullptr);
}

ScratchDirectory::ScratchDirectory(const std::string& prefix)
{
    std::string name = "/tmp/" + prefix + "-XXXXXX";
    if (!mkdtemp(name.data())) throw std::runtime_error("mkdtemp " + name + " failed");
    path_ = name;
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code ignored;  // what cannot be removed stays; a destructor must not throw
    std::filesystem::remove_all(path_, ignored);
}

PortLinks::PortLinks()
    : directory_("quarnex-ports"), variable_("QUARNEX_PORTS_DIR", directory_.Path().c_str())
{
}

void PortLinks::Link(const std::string& name, const std::string& device)
{
    const std::filesystem::path link = directory_.Path() / name;
    std::filesystem::remove(link);
    std::filesystem::create_symlink(device, link);
}
