#pragma once
// A scripted TCP server on 127.0.0.1 for network tests. The test drives it
// step by step; every step waits at most its time-out, and once the server
// has lived kLifetimeMs it closes everything and refuses to go on, so a
// broken test can never hang on it.
#include <vector>

#include "platform/net/Socket.h"
#include "platform/core/Types.h"

class LoopbackServer {
public:
    static constexpr u32 kLoopbackIp = 0x7F000001u;
    // Both only guard a hang: a step on a busy machine never takes that long.
    static constexpr u32 kLifetimeMs = 500000;
    static constexpr u32 kStepMs = 60000;

    // Listens on a free loopback port.
    explicit LoopbackServer(int backlog = 16);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool IsListening() const { return listener_ != plat::InvalidSocket; }
    u16 Port() const { return port_; }

    // Accepts the next connection; its index, or -1 when none came in time.
    int Accept(u32 ms = kStepMs);
    // Writes all n bytes.
    bool SendRaw(int conn, const void* data, u32 n, u32 ms = kStepMs);
    // Writes one frame: the u32 little-endian total length, then the payload.
    bool SendFrame(int conn, const void* payload, u32 n, u32 ms = kStepMs);
    // Reads exactly n bytes.
    bool RecvRaw(int conn, void* out, u32 n, u32 ms = kStepMs);
    // Reads one frame; false on time-out, on a close, or on a length the
    // client may never send (below 4 or above MaxFrameLength).
    bool RecvFrame(int conn, std::vector<u8>* payload, u32 ms = kStepMs);
    // true once the peer has closed (reading and dropping what it sent).
    bool WaitPeerClosed(int conn, u32 ms = kStepMs);
    // Closes one connection from the server side.
    void Close(int conn);
    // Stops listening: later connects are refused.
    void CloseListener();

    // Makes connections nobody accepts until the listen queue is full, so
    // the next connect hangs. Use with a backlog of 0 or 1. false when the
    // queue did not fill.
    bool FillBacklog();

private:
    bool Alive();
    plat::SocketId Conn(int conn) const;
    void CloseAll();

    plat::SocketId listener_ = plat::InvalidSocket;
    u16 port_ = 0;
    std::vector<plat::SocketId> conns_;
    std::vector<plat::SocketId> fillers_;
    u32 born_ = 0;
};
