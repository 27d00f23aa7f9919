#include "engine/net/Client.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/core/MessageBox.h"
#include "platform/core/Time.h"

namespace {

constexpr u32 kSelectedEvents =
    plat::NetEventRead | plat::NetEventWrite | plat::NetEventConnect | plat::NetEventClose;
constexpr u32 kWaitMs = 500;
// How often a receive thread whose queue is full looks for room again.
constexpr u32 kFullPollMs = 2;

}  // namespace

CClient::CClient() = default;

CClient::~CClient() {
    Disconnect();
    {
        plat::ScopedLock lock(sendLock_);
        sendQueue_.DeleteAll();
    }
    plat::ScopedLock lock(recvLock_);
    recvQueue_.Init();
}

u32 CClient::OnEvent(u32, u32, void*) { return 0; }

void CClient::LeaveNotice(const char* text) {
    std::lock_guard<std::mutex> lock(noticeLock_);
    notice_ = text;
}

int CClient::Connect(const char* host, u32 port, u32 userValue) {
    std::lock_guard<std::mutex> life(lifeLock_);
    if (connectState_.load() == ConnectBusy) return ConnectFailedAtOnce;
    connectThread_.Join();
    ReleaseConnection();
    return ConnectNow(host, port, userValue, false);
}

int CClient::ConnectNow(const char* host, u32 port, u32 userValue, bool background) {
    recvBuffer_.reset(new (std::nothrow) u8[RecvBufferSize]);
    if (!recvBuffer_) return ConnectNoNetwork;
    sendThreadState_.store(ThreadStopped);
    userValue_ = userValue;

    u32 ip = 0;
    const bool resolved = plat::NetResolveIPv4(host, &ip);
    address_ = NetAddress{2, u16(port), ip};
    flags_.store(0);
    // A background connect stays "connecting" until its thread decides.
    if (!background) connectState_.store(ConnectIdle);
    if (!resolved) return ConnectFailedAtOnce;

    const plat::SocketId s = plat::NetOpenTcp();
    if (s == plat::InvalidSocket) return ConnectNoSocket;
    // A server whose link was cut without a close is found within a minute.
    plat::NetSetKeepAlive(s, true);
    if (!netEvent_.Create()) {
        plat::NetClose(s);
        return ConnectNoEvent;
    }
    if (!netEvent_.Select(s, kSelectedEvents)) {
        // The box is shown later by the main thread; this may be the connect thread.
        LeaveNotice("WSAEventSelect:エラー！");
        netEvent_.Destroy();
        plat::NetClose(s);
        return ConnectSelectFailed;
    }
    const plat::NetError err = plat::NetConnect(s, ip, u16(port));
    if (err != plat::NetOk && err != plat::NetWouldBlock) {
        netEvent_.Destroy();
        plat::NetClose(s);
        return ConnectFailedAtOnce;
    }
    {
        plat::ScopedLock lock(recvLock_);
        recvQueue_.Init();
        closeAfterDrain_ = false;
        peakHeldBytes_ = 0;
        peakQueuedMessages_ = 0;
    }
    {
        plat::ScopedLock lock(sendLock_);
        sendQueue_.Init();
    }
    closeReason_.store(CloseNone);
    wakeEvent_.Reset();
    ownedSocket_ = s;
    socket_.store(s);

    // Set up before the threads start: the receive thread may mark the
    // connection as standing at once. The states read "running" before the
    // threads exist, so a Disconnect that comes at once still stops them.
    flags_.store(FlagSetUp);
    sendThreadState_.store(ThreadRunning);
    recvThreadState_.store(startReceiveThread_ ? ThreadRunning : ThreadStopped);
    bool started = sendThread_.Start(&CClient::SendThreadProc, this);
    if (started && startReceiveThread_) started = recvThread_.Start(&CClient::RecvThreadProc, this);
    if (!started) {
        ReleaseConnection();
        return ConnectNoThreads;
    }
    return ConnectOk;
}

int CClient::ConnectAsync(const char* host, u32 port, u32 timeoutMs, u32 userValue) {
    std::lock_guard<std::mutex> life(lifeLock_);
    bool closedByNetwork;
    {
        plat::ScopedLock lock(recvLock_);
        closedByNetwork = closeAfterDrain_;
    }
    // Messages left over from a connection the network ended do not keep a
    // new one from starting; they are dropped with it.
    if ((flags_.load() != 0 && !closedByNetwork) || connectState_.load() == ConnectBusy) return 0;
    // Whatever a close from the network left behind goes first.
    connectThread_.Join();
    ReleaseConnection();
    std::snprintf(hostName_, sizeof hostName_, "%s", host ? host : "");
    port_ = port;
    timeout_ = timeoutMs;
    userValue_ = userValue;
    abortConnect_.store(false);
    connectState_.store(ConnectBusy);
    if (!connectThread_.Start(&CClient::ConnectThreadProc, this)) {
        connectState_.store(ConnectFailed);
        return 0;
    }
    return 1;
}

void CClient::ConnectThreadProc(void* self) { static_cast<CClient*>(self)->RunConnectThread(); }

void CClient::RunConnectThread() {
    if (ConnectNow(hostName_, port_, userValue_, true) != ConnectOk) {
        connectState_.store(ConnectFailed);
        return;
    }
    const u32 start = plat::TimeGetTime();
    for (;;) {
        if (flags_.load() & FlagConnected) {
            u32 expected = ConnectBusy;
            connectState_.compare_exchange_strong(expected, ConnectDone);
            return;
        }
        // A refusal seen by the receive thread has decided already.
        if (connectState_.load() == ConnectFailed) return;
        if (abortConnect_.load()) break;
        plat::Sleep(1);
        if (plat::TimeGetTime() - start > timeout_) break;
    }
    connectState_.store(ConnectFailed);
}

int CClient::Send(const NetMessage& message, int wake) {
    const plat::SocketId s = socket_.load();
    if (s == plat::InvalidSocket) return SendNoSocket;
    int result;
    {
        plat::ScopedLock lock(sendLock_);
        result = sendQueue_.PushMessage(s, message);
    }
    if (result != CSendQueue<SENDQUEUE>::PushOk) return SendRefused;
    if (wake) wakeEvent_.Set();
    return SendQueued;
}

RECVQUEUE* CClient::PopReceived() {
    std::string notice;
    {
        std::lock_guard<std::mutex> lock(noticeLock_);
        notice.swap(notice_);
    }
    if (!notice.empty()) plat::ShowMessageBox(nullptr, notice.c_str(), "");

    if (!(flags_.load() & FlagSetUp)) return nullptr;
    plat::ScopedLock lock(recvLock_);
    RECVQUEUE* node = recvQueue_.Pop();
    if (closeAfterDrain_ && recvQueue_.GetCount() == 0) {
        // Every message from before the close is out: now the close shows.
        closeAfterDrain_ = false;
        flags_.store(0);
    }
    return node;
}

void CClient::GetReceivePeak(u64* bytes, u32* messages) {
    plat::ScopedLock lock(recvLock_);
    if (bytes) *bytes = peakHeldBytes_;
    if (messages) *messages = peakQueuedMessages_;
}

void CClient::SendThreadProc(void* self) { static_cast<CClient*>(self)->RunSendThread(); }

void CClient::RunSendThread() {
    for (;;) {
        wakeEvent_.Wait();
        wakeEvent_.Reset();
        if (sendThreadState_.load() == ThreadStopping) break;
        for (;;) {
            if (sendThreadState_.load() == ThreadStopping) break;
            SENDQUEUE* node;
            {
                plat::ScopedLock lock(sendLock_);
                node = sendQueue_.Pop();
            }
            if (node == nullptr) break;
            if (SendAll(node) == -2) {
                // Nothing of it went out: it goes first again once the
                // socket has room.
                {
                    plat::ScopedLock lock(sendLock_);
                    sendQueue_.PushFront(node);
                }
                sendRetries_.fetch_add(1);
                plat::Sleep(10);
                continue;
            }
            // Sent, or failed: a failed message is dropped.
            delete node;
        }
    }
    sendThreadState_.store(ThreadStopped);
}

int CClient::SendAll(SENDQUEUE* node) {
    u32 sent = 0;
    u32 wouldBlock = 0;
    while (sent < node->length) {
        plat::NetError err = plat::NetOk;
        const i32 n = plat::NetSend(node->socket, node->message + sent, node->length - sent, &err);
        if (n > 0) {
            sent += u32(n);
            continue;
        }
        if (n == 0) return -3;
        if (err != plat::NetWouldBlock) return -1;
        ++wouldBlock;
        if (wouldBlock >= 2 && sent == 0) return -2;
        // A message that has started must finish, unless we are stopping.
        if (sendThreadState_.load() == ThreadStopping) return -1;
        plat::Sleep(1);
    }
    if (node->callback) node->callback(node->callbackArg);
    return i32(sent);
}

void CClient::RecvThreadProc(void* self) { static_cast<CClient*>(self)->RunRecvThread(); }

void CClient::RunRecvThread() {
    bool full = false;
    u32 fullSince = 0;
    for (;;) {
        if (recvThreadState_.load() == ThreadStopping) break;
        if (ReceiveQueueFull()) {
            // Leave the bytes in the socket so TCP holds the sender back;
            // only a reader that stops taking messages ends the connection.
            const u32 now = plat::TimeGetTime();
            if (!full) {
                full = true;
                fullSince = now;
            } else if (now - fullSince >= overflowAfterMs_) {
                CloseFromNetwork(plat::NetOther, CloseOverflow);
                return;
            }
            plat::Sleep(kFullPollMs);
            continue;
        }
        full = false;
        const int r = netEvent_.Wait(kWaitMs);
        if (recvThreadState_.load() == ThreadStopping || r < 0) break;
        if (r == 0) continue;
        plat::NetEvents events;
        if (!netEvent_.Enumerate(&events)) break;
        if (!HandleNetEvents(events)) return;
    }
    recvThreadState_.store(ThreadStopped);
}

bool CClient::HandleNetEvents(const plat::NetEvents& ev) {
    if (ev.events & plat::NetEventConnect) {
        if (ev.connectError == plat::NetRefused) {
            connectState_.store(ConnectFailed);
        } else {
            NetConnectInfo info{socket_.load(), &address_, ev.connectError};
            OnEvent(userValue_, NetEventConnected, &info);
        }
    }
    if (ev.events & plat::NetEventClose) {
        CloseFromNetwork(ev.closeError, ev.closeError == plat::NetOk ? ClosePeer : CloseReset);
        return false;
    }
    bool writeDone = false;
    if (ev.events & plat::NetEventRead) {
        // Write readiness in the same set is what makes the connection
        // stand; take it first so the read is not thrown away with it.
        if (!(flags_.load() & FlagConnected) && (ev.events & plat::NetEventWrite)) {
            flags_.fetch_or(FlagConnected);
            writeDone = true;
        }
        if (flags_.load() & FlagConnected) {
            const int n = Receive();
            if (n < 0) {
                if (n == -2) {
                    CloseFromNetwork(plat::NetOk, ClosePeer);
                } else if (n == -3) {
                    CloseFromNetwork(plat::NetOther, CloseBadFrame);
                } else {
                    CloseFromNetwork(plat::NetReset, CloseReset);
                }
                return false;
            }
            plat::NetError readError = ev.readError;
            OnEvent(userValue_, NetEventReceived, &readError);
        } else {
            return true;
        }
    }
    if (ev.events & plat::NetEventWrite) {
        if (!writeDone) flags_.fetch_or(FlagConnected);
        plat::NetError writeError = ev.writeError;
        OnEvent(userValue_, NetEventWritable, &writeError);
    }
    return true;
}

u32 CClient::ReadAllowance() const {
    const u32 count = recvQueue_.GetCount();
    if (count >= maxQueuedMessages_) return 0;
    const u64 held = recvQueue_.QueuedBytes() + recvQueue_.PendingBytes();
    u64 room = held < maxQueuedBytes_ ? maxQueuedBytes_ - held : 0;
    // Every frame is at least its length field, so these bytes cannot make
    // more messages than there is room for.
    room = std::min<u64>(room, u64(maxQueuedMessages_ - count) * FrameHeaderSize);
    // With nothing to pop, the frame in progress must still be able to finish.
    if (count == 0) room = std::max<u64>(room, recvQueue_.MissingBytes());
    return u32(std::min<u64>(room, RecvBufferSize));
}

bool CClient::ReceiveQueueFull() {
    plat::ScopedLock lock(recvLock_);
    return ReadAllowance() == 0;
}

int CClient::Receive() {
    if (!recvBuffer_) return -1;
    u32 allowance;
    {
        // Only this thread adds to the queue, so the room can only grow
        // until the read below is appended.
        plat::ScopedLock lock(recvLock_);
        allowance = ReadAllowance();
    }
    if (allowance == 0) return 0;
    plat::NetError err = plat::NetOk;
    const i32 n = plat::NetRecv(socket_.load(), recvBuffer_.get(), allowance, &err);
    if (n < 0) return err == plat::NetWouldBlock ? 0 : -1;
    if (n == 0) return -2;
    plat::ScopedLock lock(recvLock_);
    if (recvQueue_.Append(recvBuffer_.get(), n) != CRecvQueue<RECVQUEUE>::AppendOk) {
        // Dropping bytes would desynchronise the stream for good.
        return -1;
    }
    int cut;
    while ((cut = recvQueue_.CutMessage(nullptr, 0)) == CRecvQueue<RECVQUEUE>::CutMore) {
    }
    peakHeldBytes_ = std::max(peakHeldBytes_, recvQueue_.QueuedBytes() + recvQueue_.PendingBytes());
    peakQueuedMessages_ = std::max(peakQueuedMessages_, recvQueue_.GetCount());
    if (cut == CRecvQueue<RECVQUEUE>::CutBadLength) return -3;
    return n;
}

void CClient::CloseFromNetwork(plat::NetError error, u32 reason) {
    const bool stopping = recvThreadState_.load() == ThreadStopping;
    const plat::SocketId s = socket_.exchange(plat::InvalidSocket);
    plat::NetShutdown(s, plat::NetShut::Both);
    closeReason_.store(reason);
    {
        // Whole messages that came before the close are still the caller's;
        // only a frame the close cut short is dropped.
        plat::ScopedLock lock(recvLock_);
        recvQueue_.DropPending();
        if (recvQueue_.GetCount() == 0) {
            flags_.store(0);
        } else {
            closeAfterDrain_ = true;
        }
    }
    u32 running = ThreadRunning;
    sendThreadState_.compare_exchange_strong(running, ThreadStopping);
    wakeEvent_.Set();
    recvThreadState_.store(ThreadStopped);
    // A close the caller asked for is not news to it.
    if (!stopping) OnEvent(userValue_, NetEventClosed, &error);
}

void CClient::Disconnect() {
    std::lock_guard<std::mutex> life(lifeLock_);
    abortConnect_.store(true);
    connectThread_.Join();
    abortConnect_.store(false);
    ReleaseConnection();
}

void CClient::ReleaseConnection() {
    if (ownedSocket_ != plat::InvalidSocket && (flags_.load() & FlagSetUp)) {
        // Give messages just queued a moment to go out.
        plat::Sleep(100);
    }
    u32 running = ThreadRunning;
    recvThreadState_.compare_exchange_strong(running, ThreadStopping);
    if (ownedSocket_ != plat::InvalidSocket) {
        socket_.store(plat::InvalidSocket);
        plat::NetShutdown(ownedSocket_, plat::NetShut::Send);
        std::vector<u8> scratch(65535);
        plat::NetError err;
        for (int i = 0; i < 64; ++i) {
            if (plat::NetRecv(ownedSocket_, scratch.data(), u32(scratch.size()), &err) <= 0) break;
        }
        plat::NetShutdown(ownedSocket_, plat::NetShut::Both);
    }
    running = ThreadRunning;
    sendThreadState_.compare_exchange_strong(running, ThreadStopping);
    wakeEvent_.Set();
    sendThread_.Join();
    sendThreadState_.store(ThreadStopped);
    netEvent_.Wake();
    recvThread_.Join();
    recvThreadState_.store(ThreadStopped);

    if (ownedSocket_ != plat::InvalidSocket) plat::NetClose(ownedSocket_);
    ownedSocket_ = plat::InvalidSocket;
    netEvent_.Destroy();
    {
        plat::ScopedLock lock(recvLock_);
        recvQueue_.Init();
        closeAfterDrain_ = false;
    }
    {
        plat::ScopedLock lock(sendLock_);
        sendQueue_.DeleteAll();
    }
    wakeEvent_.Reset();
    flags_.store(0);
    recvBuffer_.reset();
}
