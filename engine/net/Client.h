#pragma once
// The TCP client behind both online connections: frames outgoing messages
// behind their length, cuts the incoming stream back into whole messages,
// and runs a send thread, a receive thread and, while connecting in the
// background, a connect thread.
//
// The caller's thread (the main loop) calls Connect, ConnectAsync, Send,
// PopReceived and Disconnect. OnEvent runs on the receive thread.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "engine/net/NetQueue.h"
#include "platform/net/Socket.h"
#include "platform/core/Thread.h"
#include "platform/core/Types.h"

// Address of the server, host byte order.
struct NetAddress {
    u16 family = 2;  // IPv4
    u16 port = 0;
    u32 ip = 0;
};

// What OnEvent receives with code NetEventConnected.
struct NetConnectInfo {
    plat::SocketId socket = plat::InvalidSocket;
    const NetAddress* address = nullptr;
    plat::NetError error = plat::NetOk;
};

class CClient {
public:
    // Bits of the flags word.
    enum : u32 { FlagSetUp = 1, FlagConnected = 2 };
    // Values of the connect state.
    enum : u32 { ConnectIdle = 0, ConnectBusy = 1, ConnectDone = 2, ConnectFailed = 3 };
    // Results of Connect.
    enum : int {
        ConnectOk = 0,
        ConnectNoNetwork = 1,    // the network layer could not be set up
        ConnectNoSocket = 2,
        ConnectNoEvent = 3,
        ConnectSelectFailed = 4,
        ConnectFailedAtOnce = 5,  // includes a host that cannot be resolved
        ConnectNoThreads = 6,
    };
    // Results of Send.
    enum : int { SendQueued = 0, SendNoSocket = 1, SendRefused = 2 };
    // OnEvent codes. Info: NetConnectInfo* for connected, NetError* otherwise.
    enum : u32 { NetEventConnected = 2, NetEventClosed = 3, NetEventReceived = 4, NetEventWritable = 5 };

    // Why the network ended a connection (GetCloseReason).
    enum : u32 { CloseNone = 0, ClosePeer = 1, CloseReset = 2, CloseBadFrame = 3, CloseOverflow = 4 };

    // Bytes one read takes from the socket.
    static constexpr u32 RecvBufferSize = 0x280000;
    // Bounds of what waits in the receive queue for the main thread. While
    // they are reached the socket is not read, so TCP holds the sender back;
    // a queue that stays full for OverflowAfterMs ends the connection.
    static constexpr u64 MaxQueuedBytes = 2ull * MaxFrameLength;
    static constexpr u32 MaxQueuedMessages = 65536;
    static constexpr u32 OverflowAfterMs = 30000;

    CClient();
    // Disconnects. A derived client must call Disconnect in its own
    // destructor, since OnEvent may still run until the threads are gone.
    virtual ~CClient();
    CClient(const CClient&) = delete;
    CClient& operator=(const CClient&) = delete;

    virtual u32 OnEvent(u32 userValue, u32 code, void* info);

    // Sets the connection up; it completes later (see the connect state and
    // the connected flag). ConnectOk or a Connect result code;
    // ConnectFailedAtOnce also while a background connect is running.
    int Connect(const char* host, u32 port, u32 userValue);
    // Connects on a thread of its own, giving up after timeoutMs. 1 started,
    // 0 busy (set up already, or a connect still running).
    int ConnectAsync(const char* host, u32 port, u32 timeoutMs, u32 userValue);
    // Queues a framed copy of the message; wake != 0 wakes the send thread.
    // SendQueued, SendNoSocket, or SendRefused when it could not be queued
    // (too long for one frame, or no memory).
    int Send(const NetMessage& message, int wake);
    // The oldest whole message, or null; the caller deletes it. Null while
    // the client is not set up. Also shows, on this (the main) thread, any
    // message a network thread left for the user. Messages that arrived
    // before the network closed the connection are still handed out; the
    // flags clear once the last of them is taken.
    RECVQUEUE* PopReceived();
    // Closes the connection and stops the threads. Safe to call again.
    void Disconnect();

    // State the main thread polls.
    u32 GetFlags() const { return flags_.load(); }
    bool IsConnected() const { return (flags_.load() & FlagConnected) != 0; }
    u32 GetConnectState() const { return connectState_.load(); }
    // The connection's socket for options; InvalidSocket once it is closed.
    plat::SocketId GetSocket() const { return socket_.load(); }
    const NetAddress& GetAddress() const { return address_; }

    // Times a message was put back because the socket would block.
    u32 GetSendRetryCount() const { return sendRetries_.load(); }
    // Close* value of the last connection the network ended.
    u32 GetCloseReason() const { return closeReason_.load(); }

protected:
    // Test hook: leave the receive thread unstarted so a test can drive
    // HandleNetEvents itself.
    bool startReceiveThread_ = true;
    // Test hooks: receive-queue bounds, set before connecting.
    u64 maxQueuedBytes_ = MaxQueuedBytes;
    u32 maxQueuedMessages_ = MaxQueuedMessages;
    u32 overflowAfterMs_ = OverflowAfterMs;
    // The most the receive queue held at once (payload plus partial frame
    // bytes, and messages) since the connection was set up.
    void GetReceivePeak(u64* bytes, u32* messages);

    // Runs one set of network events on the receive thread. false when the
    // connection ended and the thread must stop.
    bool HandleNetEvents(const plat::NetEvents& events);
    // Leaves a message for the user; the main thread shows it at its next
    // PopReceived, since no box may be shown from a network thread.
    void LeaveNotice(const char* text);
    // Reads once from the socket into the receive queue. Bytes read, 0 when
    // nothing was waiting or the queue is full, -1 on an error, -2 when the
    // peer closed, -3 when the peer sent a frame length out of bounds.
    int Receive();

private:
    enum : u32 { ThreadStopped = 0, ThreadRunning = 1, ThreadStopping = 2 };

    static void SendThreadProc(void* self);
    static void RecvThreadProc(void* self);
    static void ConnectThreadProc(void* self);

    int ConnectNow(const char* host, u32 port, u32 userValue, bool background);
    void RunSendThread();
    void RunRecvThread();
    void RunConnectThread();
    int SendAll(SENDQUEUE* node);
    // Ends the connection from the receive thread after a close or an error;
    // the socket is only shut down here and closed by Disconnect.
    void CloseFromNetwork(plat::NetError error, u32 reason);
    // Bytes the next read may take without passing the queue's bounds; the
    // caller holds recvLock.
    u32 ReadAllowance() const;
    bool ReceiveQueueFull();
    // Stops the send and receive threads and frees the connection.
    void ReleaseConnection();

    std::atomic<u32> flags_{0};
    std::atomic<plat::SocketId> socket_{plat::InvalidSocket};
    plat::SocketId ownedSocket_ = plat::InvalidSocket;
    NetAddress address_;
    plat::SocketEvent netEvent_;
    std::atomic<u32> sendThreadState_{ThreadStopped};
    std::atomic<u32> recvThreadState_{ThreadStopped};
    u32 userValue_ = 0;
    std::unique_ptr<u8[]> recvBuffer_;
    CRecvQueue<RECVQUEUE> recvQueue_;
    CSendQueue<SENDQUEUE> sendQueue_;
    plat::CriticalSection sendLock_;
    plat::CriticalSection recvLock_;
    plat::SyncEvent wakeEvent_{true};
    char hostName_[256] = {};
    u32 port_ = 0;
    u32 timeout_ = 0;
    std::atomic<u32> connectState_{ConnectIdle};

    plat::Thread sendThread_;
    plat::Thread recvThread_;
    plat::Thread connectThread_;
    std::atomic<bool> abortConnect_{false};
    // Serialises Connect, ConnectAsync and Disconnect.
    std::mutex lifeLock_;
    std::atomic<u32> sendRetries_{0};
    std::atomic<u32> closeReason_{CloseNone};
    // Guarded by recvLock: the network closed while whole messages were
    // still queued, so the flags clear when the last one is popped.
    bool closeAfterDrain_ = false;
    u64 peakHeldBytes_ = 0;
    u32 peakQueuedMessages_ = 0;

    std::mutex noticeLock_;
    std::string notice_;
};
