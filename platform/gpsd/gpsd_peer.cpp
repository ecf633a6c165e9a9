#include "platform/gpsd/gpsd_peer.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/io/unique_fd.h"

namespace {

struct SocketOwner {
    uid_t uid;
    unsigned long inode;  // 0 for a socket that no process holds any more (time-wait)
    unsigned char state;  // TCP_ESTABLISHED, TCP_LISTEN, ...
};

// A socket-diagnostics request of the kernel's (its header filled in), sent on a socket of its
// own; an invalid descriptor when it cannot be sent. The kernel answers at once; the receive
// time-out only guards a dump's reads.
template <typename Request>
UniqueFd AskTheKernel(const Request& request, unsigned short flags)
{
    struct {
        nlmsghdr header;
        Request request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST | flags;
    message.request = request;
    UniqueFd fd{::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)};
    const timeval limit{1, 0};
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (!fd || setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0 ||
        ::sendto(fd.get(), &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) != static_cast<ssize_t>(sizeof message))
        return {};
    return fd;
}

// The TCP socket the kernel finds for the four addresses of `id`, as it would for a packet from
// the remote address to the local one: a connection's end, or else a listener of the local
// address and port. False when there is none.
bool FindTcpSocket(const inet_diag_sockid& id, SocketOwner& owner)
{
    inet_diag_req_v2 request{};
    request.sdiag_family = AF_INET;
    request.sdiag_protocol = IPPROTO_TCP;
    request.idiag_states = ~0u;
    request.id = id;
    request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    const UniqueFd diagnostics = AskTheKernel(request, 0);
    if (!diagnostics) return false;
    alignas(nlmsghdr) char reply[1024];
    const ssize_t count = ::recv(diagnostics.get(), reply, sizeof reply, MSG_DONTWAIT);
    const auto* header = reinterpret_cast<const nlmsghdr*>(reply);
    if (count < static_cast<ssize_t>(NLMSG_LENGTH(sizeof(inet_diag_msg))) ||
        header->nlmsg_type != SOCK_DIAG_BY_FAMILY)
        return false;  // NLMSG_ERROR: the kernel has no such socket (any more)
    const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
    owner = {found->idiag_uid, found->idiag_inode, found->idiag_state};
    return true;
}

// The far end's socket: its local end is our peer, its remote end our side of the connection.
bool FarEndOwner(int fd, SocketOwner& owner)
{
    sockaddr_in ours{}, theirs{};
    socklen_t length = sizeof ours;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&ours), &length) != 0) return false;
    length = sizeof theirs;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&theirs), &length) != 0) return false;
    inet_diag_sockid id{};
    id.idiag_sport = theirs.sin_port;
    id.idiag_dport = ours.sin_port;
    id.idiag_src[0] = theirs.sin_addr.s_addr;
    id.idiag_dst[0] = ours.sin_addr.s_addr;
    return FindTcpSocket(id, owner);
}

// The kernel numbers devices in its own encoding in socket diagnostics (20 bits of minor).
bool SameDevice(unsigned kernelDevice, dev_t device)
{
    return (kernelDevice >> 20) == major(device) && (kernelDevice & 0xfffff) == minor(device);
}

// The inode of the listening socket bound to the socket file `path`, or 0: found in the
// kernel's table of Unix sockets by the file's own device and inode, so that the path it was
// bound under (another root's, a relative one) does not matter.
unsigned long ListeningSocketOf(const char* path)
{
    struct stat file {};
    if (::stat(path, &file) != 0 || !S_ISSOCK(file.st_mode)) return 0;
    unix_diag_req request{};
    request.sdiag_family = AF_UNIX;
    request.udiag_states = 1u << 10;  // TCP_LISTEN
    request.udiag_show = UDIAG_SHOW_VFS;
    const UniqueFd diagnostics = AskTheKernel(request, NLM_F_DUMP);
    if (!diagnostics) return 0;

    alignas(nlmsghdr) char reply[16384];
    for (;;) {
        ssize_t count = ::recv(diagnostics.get(), reply, sizeof reply, 0);
        if (count <= 0) return 0;
        for (auto* header = reinterpret_cast<nlmsghdr*>(reply); NLMSG_OK(header, count);
             header = NLMSG_NEXT(header, count)) {
            if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY) return 0;  // NLMSG_DONE or an error
            const auto* socket = static_cast<const unix_diag_msg*>(NLMSG_DATA(header));
            int left = static_cast<int>(header->nlmsg_len - NLMSG_LENGTH(sizeof *socket));
            for (auto* attribute =
                     reinterpret_cast<rtattr*>(const_cast<unix_diag_msg*>(socket + 1));
                 RTA_OK(attribute, left); attribute = RTA_NEXT(attribute, left)) {
                if (attribute->rta_type != UNIX_DIAG_VFS) continue;
                const auto* vfs = static_cast<const unix_diag_vfs*>(RTA_DATA(attribute));
                if (vfs->udiag_vfs_ino == file.st_ino &&
                    SameDevice(vfs->udiag_vfs_dev, file.st_dev))
                    return socket->udiag_ino;
            }
        }
    }
}

// True when /proc shows `pid` holding the socket `inode`. getdents64 and readlinkat on a fixed
// buffer: nothing allocated.
bool ProcessHoldsSocket(pid_t pid, unsigned long inode)
{
    char path[32];
    std::snprintf(path, sizeof path, "/proc/%d/fd", static_cast<int>(pid));
    const UniqueFd directory{::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (!directory) return false;
    char wanted[40];
    const int wantedLength = std::snprintf(wanted, sizeof wanted, "socket:[%lu]", inode);
    alignas(dirent64) char entries[4096];
    for (;;) {
        const ssize_t count = ::getdents64(directory.get(), entries, sizeof entries);
        if (count <= 0) return false;
        for (ssize_t at = 0; at < count;) {
            const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
            at += entry->d_reclen;
            char link[48];
            const ssize_t length = ::readlinkat(directory.get(), entry->d_name, link, sizeof link);
            if (length == wantedLength && std::memcmp(link, wanted, length) == 0) return true;
        }
    }
}

}  // namespace

void FindGpsdProcesses(const char* controlPath, GpsdIdentity& gpsd)
{
    gpsd.processCount = 0;
    const unsigned long listener = ListeningSocketOf(controlPath);
    if (listener == 0) return;
    DIR* processes = ::opendir("/proc");
    if (!processes) return;
    while (const dirent* entry = ::readdir(processes)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || !ProcessHoldsSocket(static_cast<pid_t>(pid), listener))
            continue;
        gpsd.processes[gpsd.processCount++] = static_cast<pid_t>(pid);
        if (gpsd.processCount == kMaxGpsdProcesses) break;
    }
    ::closedir(processes);
}

bool FindListenerOwner(in_addr_t address, unsigned short port, uid_t& uid)
{
    inet_diag_sockid id{};
    id.idiag_src[0] = address;
    id.idiag_sport = htons(port);
    SocketOwner owner{};
    if (!FindTcpSocket(id, owner) || owner.state != TCP_LISTEN) return false;
    uid = owner.uid;
    return true;
}

bool IsGpsdConnection(int fd, const GpsdIdentity& gpsd)
{
    // A far end that has closed already (time-wait, closing) belongs to nobody: the kernel keeps
    // such an end without its owner, and shows uid 0 for it, which must not pass for root.
    SocketOwner owner{};
    if (!FarEndOwner(fd, owner) || owner.state != TCP_ESTABLISHED || owner.inode == 0) return false;
    if (gpsd.processCount == 0)
        return owner.uid == gpsd.serverUid || owner.uid == gpsd.owners.gpsdAccount;
    for (std::size_t i = 0; i < gpsd.processCount; ++i)
        if (ProcessHoldsSocket(gpsd.processes[i], owner.inode)) return true;
    return false;
}
