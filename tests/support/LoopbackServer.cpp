#include "support/LoopbackServer.h"

#include <algorithm>

#include "engine/net/NetQueue.h"
#include "platform/core/Time.h"

namespace {

u32 Remaining(u32 start, u32 ms) {
    const u32 spent = plat::TimeGetTime() - start;
    return spent >= ms ? 0 : ms - spent;
}

}  // namespace

LoopbackServer::LoopbackServer(int backlog) : born_(plat::TimeGetTime()) {
    listener_ = plat::NetListenTcp(kLoopbackIp, &port_, backlog);
}

LoopbackServer::~LoopbackServer() { CloseAll(); }

void LoopbackServer::CloseAll() {
    for (plat::SocketId& s : conns_) {
        plat::NetClose(s);
        s = plat::InvalidSocket;
    }
    for (plat::SocketId s : fillers_) plat::NetClose(s);
    fillers_.clear();
    CloseListener();
}

bool LoopbackServer::Alive() {
    if (plat::TimeGetTime() - born_ <= kLifetimeMs) return true;
    CloseAll();
    return false;
}

plat::SocketId LoopbackServer::Conn(int conn) const {
    if (conn < 0 || size_t(conn) >= conns_.size()) return plat::InvalidSocket;
    return conns_[size_t(conn)];
}

int LoopbackServer::Accept(u32 ms) {
    if (!Alive() || listener_ == plat::InvalidSocket) return -1;
    const u32 start = plat::TimeGetTime();
    do {
        if (plat::NetWaitReadable(listener_, Remaining(start, ms)) <= 0) return -1;
        const plat::SocketId s = plat::NetAccept(listener_);
        if (s != plat::InvalidSocket) {
            conns_.push_back(s);
            return int(conns_.size() - 1);
        }
    } while (Remaining(start, ms) > 0);
    return -1;
}

bool LoopbackServer::SendRaw(int conn, const void* data, u32 n, u32 ms) {
    const plat::SocketId s = Conn(conn);
    if (!Alive() || s == plat::InvalidSocket) return false;
    const u8* p = static_cast<const u8*>(data);
    const u32 start = plat::TimeGetTime();
    while (n > 0) {
        plat::NetError err = plat::NetOk;
        const i32 sent = plat::NetSend(s, p, n, &err);
        if (sent > 0) {
            p += sent;
            n -= u32(sent);
            continue;
        }
        if (sent < 0 && err != plat::NetWouldBlock) return false;
        if (plat::NetWaitWritable(s, Remaining(start, ms)) <= 0) return false;
    }
    return true;
}

bool LoopbackServer::SendFrame(int conn, const void* payload, u32 n, u32 ms) {
    const u32 total = n + FrameHeaderSize;
    std::vector<u8> frame(total);
    frame[0] = u8(total);
    frame[1] = u8(total >> 8);
    frame[2] = u8(total >> 16);
    frame[3] = u8(total >> 24);
    if (n > 0) std::copy_n(static_cast<const u8*>(payload), n, frame.begin() + FrameHeaderSize);
    return SendRaw(conn, frame.data(), total, ms);
}

bool LoopbackServer::RecvRaw(int conn, void* out, u32 n, u32 ms) {
    const plat::SocketId s = Conn(conn);
    if (!Alive() || s == plat::InvalidSocket) return false;
    u8* p = static_cast<u8*>(out);
    const u32 start = plat::TimeGetTime();
    while (n > 0) {
        plat::NetError err = plat::NetOk;
        const i32 got = plat::NetRecv(s, p, n, &err);
        if (got > 0) {
            p += got;
            n -= u32(got);
            continue;
        }
        if (got == 0 || err != plat::NetWouldBlock) return false;
        if (plat::NetWaitReadable(s, Remaining(start, ms)) <= 0) return false;
    }
    return true;
}

bool LoopbackServer::RecvFrame(int conn, std::vector<u8>* payload, u32 ms) {
    const u32 start = plat::TimeGetTime();
    u8 head[FrameHeaderSize];
    if (!RecvRaw(conn, head, FrameHeaderSize, ms)) return false;
    const u32 total = u32(head[0]) | u32(head[1]) << 8 | u32(head[2]) << 16 | u32(head[3]) << 24;
    if (total < FrameHeaderSize || total > MaxFrameLength) return false;
    payload->assign(total - FrameHeaderSize, 0);
    if (payload->empty()) return true;
    return RecvRaw(conn, payload->data(), u32(payload->size()), Remaining(start, ms));
}

bool LoopbackServer::WaitPeerClosed(int conn, u32 ms) {
    const plat::SocketId s = Conn(conn);
    if (!Alive() || s == plat::InvalidSocket) return false;
    const u32 start = plat::TimeGetTime();
    std::vector<u8> scratch(65536);
    for (;;) {
        plat::NetError err = plat::NetOk;
        const i32 got = plat::NetRecv(s, scratch.data(), u32(scratch.size()), &err);
        if (got == 0) return true;
        if (got < 0 && err != plat::NetWouldBlock) return true;  // reset counts as closed
        if (got > 0) continue;
        if (plat::NetWaitReadable(s, Remaining(start, ms)) <= 0) return false;
    }
}

void LoopbackServer::Close(int conn) {
    if (conn < 0 || size_t(conn) >= conns_.size()) return;
    plat::NetClose(conns_[size_t(conn)]);
    conns_[size_t(conn)] = plat::InvalidSocket;
}

void LoopbackServer::CloseListener() {
    plat::NetClose(listener_);
    listener_ = plat::InvalidSocket;
}

bool LoopbackServer::FillBacklog() {
    if (!Alive() || listener_ == plat::InvalidSocket) return false;
    for (int i = 0; i < 16; ++i) {
        const plat::SocketId s = plat::NetOpenTcp();
        if (s == plat::InvalidSocket) return false;
        fillers_.push_back(s);
        const plat::NetError err = plat::NetConnect(s, kLoopbackIp, port_);
        if (err != plat::NetOk && err != plat::NetWouldBlock) return false;
        // A connection the full queue ignores stays unanswered.
        if (err == plat::NetWouldBlock && plat::NetWaitWritable(s, 300) == 0) return true;
    }
    return false;
}
