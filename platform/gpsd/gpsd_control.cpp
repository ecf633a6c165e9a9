#include "platform/gpsd/gpsd_control.h"

#include <pwd.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kGpsdAccount[] = "gpsd";

}  // namespace

bool GpsdControlSocketPath(char* path, std::size_t size)
{
    const char* chosen = std::getenv("GPSD_SOCKET");
    if (!chosen || !*chosen) chosen = geteuid() == 0 ? "/run/gpsd.sock" : "/tmp/gpsd.sock";
    const std::size_t length = std::strlen(chosen);
    if (length >= size || length >= sizeof(sockaddr_un::sun_path)) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(path, chosen, length + 1);
    return true;
}

GpsdOwners TrustedGpsdOwners()
{
    GpsdOwners owners{geteuid(), static_cast<uid_t>(-1)};
    passwd entry{};
    passwd* found = nullptr;
    char strings[1024];
    if (getpwnam_r(kGpsdAccount, &entry, strings, sizeof strings, &found) == 0 && found)
        owners.gpsdAccount = found->pw_uid;
    return owners;
}

bool IsTrustedGpsdOwner(const GpsdOwners& owners, uid_t uid)
{
    return uid == 0 || uid == owners.self || uid == owners.gpsdAccount;
}
