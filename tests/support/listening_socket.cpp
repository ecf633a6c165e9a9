#include "tests/support/listening_socket.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstring>

namespace {

UniqueFd Bound(int domain, const sockaddr* address, socklen_t size, int backlog)
{
    UniqueFd fd{::socket(domain, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    if (!fd || ::bind(fd.get(), address, size) != 0 || ::listen(fd.get(), backlog) != 0) return {};
    return fd;
}

}  // namespace

sockaddr_in TcpAddress(const char* ip, int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, ip, &address.sin_addr);
    return address;
}

sockaddr_un UnixAddress(const char* path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path, sizeof address.sun_path - 1);
    return address;
}

UniqueFd Listen(sockaddr_in& address, int backlog)
{
    UniqueFd fd = Bound(AF_INET, reinterpret_cast<sockaddr*>(&address), sizeof address, backlog);
    socklen_t size = sizeof address;
    if (fd && ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) return {};
    return fd;
}

UniqueFd Listen(const sockaddr_un& address, int backlog)
{
    return Bound(AF_UNIX, reinterpret_cast<const sockaddr*>(&address), sizeof address, backlog);
}
