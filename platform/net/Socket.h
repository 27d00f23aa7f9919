#pragma once
// TCP sockets over IPv4, and a per-socket event object that reports connect,
// read, write and close events the way the network client expects: connect
// and the first write-ready once, read while data waits, close once.
//
// Every socket made here is non-blocking; sending never raises SIGPIPE.
#include "platform/core/Types.h"

namespace plat {

using SocketId = int;
inline constexpr SocketId InvalidSocket = -1;

// Portable error codes handed to the client (never raw errno values).
enum NetError : i32 {
    NetOk = 0,
    NetWouldBlock = 1,   // the call would have to wait; try again later
    NetRefused = 2,      // nobody listens at the address
    NetReset = 3,        // the peer reset the connection
    NetTimedOut = 4,
    NetUnreachable = 5,
    NetNotConnected = 6,
    NetBadAddress = 7,
    NetOther = 8,
};

// Resolves a host name or dotted address to an IPv4 address in host byte
// order. When a name has several addresses the last one is used. false when
// nothing could be found.
bool NetResolveIPv4(const char* host, u32* ip);

// A non-blocking TCP socket, InvalidSocket on failure.
SocketId NetOpenTcp();
// Starts connecting to ip:port (host byte order). NetOk or NetWouldBlock
// while the connection is being made; anything else is a failure.
NetError NetConnect(SocketId s, u32 ip, u16 port);
// Bytes sent (> 0), or -1 with *error set (NetWouldBlock when the send
// buffer is full). Sending 0 bytes returns 0.
i32 NetSend(SocketId s, const void* data, u32 n, NetError* error);
// Bytes received (> 0), 0 when the peer has closed its side, or -1 with
// *error set (NetWouldBlock when nothing is waiting).
i32 NetRecv(SocketId s, void* buffer, u32 n, NetError* error);

enum class NetShut { Send, Receive, Both };
void NetShutdown(SocketId s, NetShut how);
void NetClose(SocketId s);

// Options the login sets once both connections are up. true on success.
bool NetSetNoDelay(SocketId s, bool on);
bool NetSetBufferSizes(SocketId s, i32 sendBytes, i32 recvBytes);
// TCP keepalive, so a peer whose link was cut without a close is found in
// well under a minute even when neither side has anything to send. Sent
// data unacknowledged for unackedMs ends the connection too (0: as long as
// the probes take).
bool NetSetKeepAlive(SocketId s, bool on, u32 unackedMs = 0);

// Waits up to ms for the socket to become readable (data, a close or an
// error) or writable. 1 ready, 0 timed out, -1 failure.
int NetWaitReadable(SocketId s, u32 ms);
int NetWaitWritable(SocketId s, u32 ms);

// Bytes the system may hold not yet sent on the socket: what is written
// beyond them waits in the caller's hands, where a later urgent message can
// still go ahead of it. true on success.
bool NetSetUnsentLimit(SocketId s, u32 bytes);

// One socket of a wait on many: what to wait for, and what was found.
struct NetPollEntry {
    SocketId socket = InvalidSocket;
    bool read = false, write = false;
    bool readable = false, writable = false;  // readable covers a close or an error
};
// Waits up to ms until one of the sockets is ready for what its entry asks.
// The count of ready entries, 0 on time-out, -1 on failure.
int NetPoll(NetPollEntry* entries, u32 n, u32 ms);

// Listening side, for loopback test servers only (the game never listens).
// Listens on ip:port (port 0 picks a free one, written back); InvalidSocket
// on failure.
SocketId NetListenTcp(u32 ip, u16* port, int backlog);
// Accepts one waiting connection (non-blocking); InvalidSocket when none.
// peerIp, when given, receives the peer's address (host byte order).
SocketId NetAccept(SocketId listener, u32* peerIp = nullptr);

// Network event bits, as selected for the client's socket.
enum NetEventBits : u32 {
    NetEventRead = 0x01,
    NetEventWrite = 0x02,
    NetEventConnect = 0x10,
    NetEventClose = 0x20,
};

// Events reported by one SocketEvent::Enumerate, with an error code each.
struct NetEvents {
    u32 events = 0;
    NetError readError = NetOk;
    NetError writeError = NetOk;
    NetError connectError = NetOk;
    NetError closeError = NetOk;
};

// The event object selected for one socket. Created and selected before the
// thread that waits on it starts; Wait and Enumerate belong to that one
// thread; Wake may be called from any thread.
class SocketEvent {
public:
    SocketEvent() = default;
    ~SocketEvent();
    SocketEvent(const SocketEvent&) = delete;
    SocketEvent& operator=(const SocketEvent&) = delete;

    // false when the system has no event object to give.
    bool Create();
    void Destroy();
    bool IsCreated() const { return wakeFd_ >= 0; }

    // Watches socket s for the events in mask. Call before connecting.
    bool Select(SocketId s, u32 mask);

    // Waits up to ms for something to report or for Wake. 1 signalled,
    // 0 timed out, -1 failure.
    int Wait(u32 ms);
    // Reports what happened since the last call. Connect, the first write
    // readiness and close are reported once each; read is reported while
    // unread data waits, and close only once everything has been read.
    bool Enumerate(NetEvents* out);

    // Ends a Wait at once (from any thread).
    void Wake();

private:
    enum class Phase { Connecting, Open, Finished };

    int wakeFd_ = -1;
    SocketId socket_ = InvalidSocket;
    u32 mask_ = 0;
    Phase phase_ = Phase::Connecting;
    short revents_ = 0;
};

}  // namespace plat
