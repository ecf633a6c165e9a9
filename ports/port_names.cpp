#include "ports/port_names.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

static std::string PortDirectory()
{
    if (const char* dir = std::getenv("QUARNEX_PORTS_DIR"); dir && *dir) return dir;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        return std::string(config) + "/quarnex/ports";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.config/quarnex/ports";
    return {};
}

// The digits of a "COM<digits>:" name, or an empty text when the name has another form.
static std::string ComPortNumber(const char* name)
{
    const std::size_t length = std::strlen(name);
    if (length < 5 || std::strncmp(name, "COM", 3) != 0 || name[length - 1] != ':') return {};
    std::string digits(name + 3, length - 4);
    for (const char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c))) return {};
    return digits;
}

std::string ResolvePortName(const char* name)
{
    const std::string number = ComPortNumber(name);
    if (number.empty()) return name;
    const std::string directory = PortDirectory();
    if (!directory.empty()) {
        const std::string link = directory + "/COM" + number;
        struct stat info {};
        if (lstat(link.c_str(), &info) == 0) return link;
    }
    return "/dev/ttyS" + number;
}
