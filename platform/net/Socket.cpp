#include "platform/net/Socket.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/core/Time.h"

namespace plat {
namespace {

NetError MapErrno(int e) {
    switch (e) {
        case 0: return NetOk;
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case EINPROGRESS:
        case EALREADY: return NetWouldBlock;
        case ECONNREFUSED: return NetRefused;
        case ECONNRESET:
        case ECONNABORTED:
        case EPIPE: return NetReset;
        case ETIMEDOUT: return NetTimedOut;
        case ENETUNREACH:
        case EHOSTUNREACH:
        case ENETDOWN: return NetUnreachable;
        case ENOTCONN: return NetNotConnected;
        case EADDRNOTAVAIL:
        case EAFNOSUPPORT:
        case EACCES: return NetBadAddress;
        default: return NetOther;
    }
}

sockaddr_in MakeAddress(u32 ip, u16 port) {
    sockaddr_in a;
    std::memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(ip);
    return a;
}

NetError PendingError(SocketId s) {
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return MapErrno(errno);
    return MapErrno(err);
}

// poll() that survives signals, keeping the overall time-out.
int PollFor(pollfd* fds, nfds_t n, u32 ms) {
    const u32 start = TimeGetTime();
    for (;;) {
        const u32 spent = TimeGetTime() - start;
        const int left = spent >= ms ? 0 : int(ms - spent);
        const int r = ::poll(fds, n, left);
        if (r >= 0) return r;
        if (errno != EINTR) return -1;
    }
}

int WaitFor(SocketId s, short what, u32 ms) {
    if (s < 0) return -1;
    pollfd p{s, what, 0};
    const int r = PollFor(&p, 1, ms);
    if (r < 0) return -1;
    return r > 0 ? 1 : 0;
}

}  // namespace

bool NetResolveIPv4(const char* host, u32* ip) {
    if (host == nullptr || ip == nullptr || host[0] == '\0') return false;
    in_addr dotted;
    if (::inet_pton(AF_INET, host, &dotted) == 1) {
        *ip = ntohl(dotted.s_addr);
        return true;
    }
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host, nullptr, &hints, &list) != 0 || list == nullptr) return false;
    bool found = false;
    for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
        if (a->ai_family != AF_INET || a->ai_addrlen < sizeof(sockaddr_in)) continue;
        // The last address of the list wins, as the game has always done.
        *ip = ntohl(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr);
        found = true;
    }
    ::freeaddrinfo(list);
    return found;
}

SocketId NetOpenTcp() {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    return s < 0 ? InvalidSocket : s;
}

NetError NetConnect(SocketId s, u32 ip, u16 port) {
    if (s < 0) return NetOther;
    const sockaddr_in a = MakeAddress(ip, port);
    for (;;) {
        if (::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return NetOk;
        if (errno != EINTR) return MapErrno(errno);
    }
}

i32 NetSend(SocketId s, const void* data, u32 n, NetError* error) {
    if (n == 0) return 0;
    // Keep each call's count inside i32.
    const size_t len = n > 0x40000000u ? 0x40000000u : n;
    for (;;) {
        const ssize_t r = ::send(s, data, len, MSG_NOSIGNAL);
        if (r >= 0) return i32(r);
        if (errno == EINTR) continue;
        if (error) *error = MapErrno(errno);
        return -1;
    }
}

i32 NetRecv(SocketId s, void* buffer, u32 n, NetError* error) {
    const size_t len = n > 0x40000000u ? 0x40000000u : n;
    for (;;) {
        const ssize_t r = ::recv(s, buffer, len, 0);
        if (r >= 0) return i32(r);
        if (errno == EINTR) continue;
        if (error) *error = MapErrno(errno);
        return -1;
    }
}

void NetShutdown(SocketId s, NetShut how) {
    if (s < 0) return;
    const int h = how == NetShut::Send ? SHUT_WR : how == NetShut::Receive ? SHUT_RD : SHUT_RDWR;
    ::shutdown(s, h);
}

void NetClose(SocketId s) {
    if (s >= 0) ::close(s);
}

bool NetSetNoDelay(SocketId s, bool on) {
    const int v = on ? 1 : 0;
    return ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &v, sizeof v) == 0;
}

bool NetSetKeepAlive(SocketId s, bool on, u32 unackedMs) {
    const int v = on ? 1 : 0, idle = 20, interval = 5, probes = 4;
    // Sent data unacknowledged as long ends the connection too: probes only
    // run on a link with nothing in flight.
    const unsigned userTimeout = !on ? 0u : unackedMs > 0 ? unackedMs : (idle + interval * probes) * 1000u;
    bool ok = ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, &v, sizeof v) == 0;
    if (!on) return ok;
    ok = ::setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) == 0 && ok;
    ok = ::setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) == 0 && ok;
    ok = ::setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes) == 0 && ok;
    return ::setsockopt(s, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout) == 0 && ok;
}

bool NetSetBufferSizes(SocketId s, i32 sendBytes, i32 recvBytes) {
    const bool a = ::setsockopt(s, SOL_SOCKET, SO_SNDBUF, &sendBytes, sizeof sendBytes) == 0;
    const bool b = ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &recvBytes, sizeof recvBytes) == 0;
    return a && b;
}

int NetWaitReadable(SocketId s, u32 ms) { return WaitFor(s, POLLIN, ms); }
int NetWaitWritable(SocketId s, u32 ms) { return WaitFor(s, POLLOUT, ms); }

bool NetSetUnsentLimit(SocketId s, u32 bytes) {
    const int v = int(bytes);
    return ::setsockopt(s, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &v, sizeof v) == 0;
}

int NetPoll(NetPollEntry* entries, u32 n, u32 ms) {
    std::vector<pollfd> fds(n);
    for (u32 i = 0; i < n; ++i) {
        const short what = short((entries[i].read ? POLLIN : 0) | (entries[i].write ? POLLOUT : 0));
        // A socket asked for nothing is left out of the wait.
        fds[i] = pollfd{what ? entries[i].socket : -1, what, 0};
    }
    const int r = PollFor(fds.data(), nfds_t(n), ms);
    for (u32 i = 0; i < n; ++i) {
        const short got = r > 0 ? fds[i].revents : 0;
        entries[i].readable = entries[i].read && (got & (POLLIN | POLLHUP | POLLERR)) != 0;
        entries[i].writable = entries[i].write && (got & (POLLOUT | POLLERR)) != 0;
    }
    return r;
}

SocketId NetListenTcp(u32 ip, u16* port, int backlog) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0) return InvalidSocket;
    const int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = MakeAddress(ip, port ? *port : 0);
    socklen_t len = sizeof a;
    if (::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || ::listen(s, backlog) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(s);
        return InvalidSocket;
    }
    if (port) *port = ntohs(a.sin_port);
    return s;
}

SocketId NetAccept(SocketId listener, u32* peerIp) {
    for (;;) {
        sockaddr_in a;
        std::memset(&a, 0, sizeof a);
        socklen_t len = sizeof a;
        const int s = ::accept4(listener, reinterpret_cast<sockaddr*>(&a), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (s >= 0) {
            if (peerIp) *peerIp = a.sin_family == AF_INET ? ntohl(a.sin_addr.s_addr) : 0;
            return s;
        }
        if (errno != EINTR) return InvalidSocket;
    }
}

SocketEvent::~SocketEvent() { Destroy(); }

bool SocketEvent::Create() {
    Destroy();
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return wakeFd_ >= 0;
}

void SocketEvent::Destroy() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
    wakeFd_ = -1;
    socket_ = InvalidSocket;
    mask_ = 0;
    phase_ = Phase::Connecting;
    revents_ = 0;
}

bool SocketEvent::Select(SocketId s, u32 mask) {
    if (wakeFd_ < 0 || s < 0) return false;
    socket_ = s;
    mask_ = mask;
    phase_ = Phase::Connecting;
    revents_ = 0;
    return true;
}

int SocketEvent::Wait(u32 ms) {
    if (wakeFd_ < 0) return -1;
    pollfd fds[2];
    nfds_t n = 0;
    fds[n++] = pollfd{wakeFd_, POLLIN, 0};
    if (socket_ >= 0 && phase_ != Phase::Finished) {
        // While connecting, writability (or an error) tells the outcome.
        fds[n++] = pollfd{socket_, short(phase_ == Phase::Connecting ? POLLOUT : POLLIN), 0};
    }
    const int r = PollFor(fds, n, ms);
    if (r < 0) return -1;
    if (r == 0) return 0;
    if (fds[0].revents & POLLIN) {
        u64 drained;
        while (::read(wakeFd_, &drained, sizeof drained) > 0) {
        }
    }
    if (n > 1) revents_ = short(revents_ | fds[1].revents);
    return 1;
}

bool SocketEvent::Enumerate(NetEvents* out) {
    if (out == nullptr || wakeFd_ < 0) return false;
    *out = NetEvents{};
    const short rev = revents_;
    revents_ = 0;
    if (rev == 0 || socket_ < 0) return true;
    u32 events = 0;
    if (phase_ == Phase::Connecting) {
        if (rev & (POLLOUT | POLLERR | POLLHUP)) {
            NetError err = PendingError(socket_);
            if (err == NetOk && !(rev & POLLOUT)) err = NetNotConnected;
            events |= NetEventConnect;
            out->connectError = err;
            if (err == NetOk) {
                // Ready to write from the moment the connection stands.
                events |= NetEventWrite;
                phase_ = Phase::Open;
            } else {
                phase_ = Phase::Finished;
            }
        }
    } else if (phase_ == Phase::Open) {
        if (rev & POLLIN) {
            u8 probe;
            const ssize_t r = ::recv(socket_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
            if (r > 0) {
                events |= NetEventRead;
            } else if (r == 0) {
                events |= NetEventClose;
                phase_ = Phase::Finished;
            } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                events |= NetEventClose;
                out->closeError = MapErrno(errno);
                phase_ = Phase::Finished;
            }
        } else if (rev & (POLLERR | POLLHUP)) {
            events |= NetEventClose;
            out->closeError = PendingError(socket_);
            phase_ = Phase::Finished;
        }
    }
    out->events = events & mask_;
    return true;
}

void SocketEvent::Wake() {
    if (wakeFd_ < 0) return;
    const u64 one = 1;
    [[maybe_unused]] const ssize_t r = ::write(wakeFd_, &one, sizeof one);
}

}  // namespace plat
