#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/net/Client.h"
#include "support/LoopbackServer.h"
#include "platform/core/Time.h"

namespace {

constexpr const char* kHost = "127.0.0.1";

// Counts the events the receive thread reports.
class RecordingClient : public CClient {
public:
    ~RecordingClient() override { Disconnect(); }

    u32 OnEvent(u32 userValue, u32 code, void*) override {
        lastUserValue.store(userValue);
        if (code < 8) counts[code].fetch_add(1);
        return 0;
    }

    u32 Count(u32 code) const { return counts[code].load(); }

    std::atomic<u32> counts[8] = {};
    std::atomic<u32> lastUserValue{0};
};

// Drives the receive side itself instead of a receive thread.
class HandDrivenClient : public RecordingClient {
public:
    HandDrivenClient() { startReceiveThread_ = false; }
    using CClient::HandleNetEvents;
};

// Each class that overrides nothing still stops the receive thread in its own
// destructor: the thread may be calling OnEvent while the object's type is
// being unwound, which ThreadSanitizer rightly reports.
class NoticeClient : public RecordingClient {
public:
    ~NoticeClient() override { Disconnect(); }
    using CClient::LeaveNotice;
};

// A client with a small receive queue, to see the bounds at work.
class BoundedClient : public RecordingClient {
public:
    BoundedClient(u64 bytes, u32 messages, u32 overflowMs) {
        maxQueuedBytes_ = bytes;
        maxQueuedMessages_ = messages;
        overflowAfterMs_ = overflowMs;
    }
    ~BoundedClient() override { Disconnect(); }
    using CClient::GetReceivePeak;
};

// How long a wait for something that must come may take before the test
// calls it lost: only a hang, never a slow machine, gets that far.
constexpr u32 kHangMs = 60000;

template <class Pred>
bool WaitUntil(Pred pred, u32 ms = kHangMs) {
    const u32 start = plat::TimeGetTime();
    while (!pred()) {
        if (plat::TimeGetTime() - start > ms) return false;
        plat::Sleep(1);
    }
    return true;
}

std::vector<u8> Bytes(std::initializer_list<u8> b) { return std::vector<u8>(b); }

int SendBytes(CClient& c, const std::vector<u8>& payload) {
    NetMessage m;
    m.length = u32(payload.size());
    m.data = payload.data();
    return c.Send(m, 1);
}

std::vector<u8> PopWithin(CClient& c, u32 ms = kHangMs) {
    std::unique_ptr<RECVQUEUE> node;
    WaitUntil([&] {
        node.reset(c.PopReceived());
        return node != nullptr;
    }, ms);
    if (!node) return {0xEE, 0xEE};
    return std::vector<u8>(node->payload, node->payload + node->size);
}

std::vector<u8> Frame(const std::vector<u8>& payload) {
    const u32 total = u32(payload.size()) + 4;
    std::vector<u8> f = {u8(total), u8(total >> 8), u8(total >> 16), u8(total >> 24)};
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

// A client connected to the server, with the server's end accepted.
template <class Client = RecordingClient>
struct BasicConnection {
    template <class... Args>
    explicit BasicConnection(Args... args) : client(args...) {}

    LoopbackServer server;
    Client client;
    int conn = -1;

    bool Open(u32 userValue = 0) {
        if (!server.IsListening()) return false;
        if (client.ConnectAsync(kHost, server.Port(), kHangMs, userValue) != 1) return false;
        conn = server.Accept();
        return conn >= 0 && WaitUntil([&] { return client.GetConnectState() == CClient::ConnectDone; });
    }
};

using Connection = BasicConnection<>;

// The i-th message of a flood: its number, then bytes that depend on it.
std::vector<u8> FloodPayload(u32 i) {
    std::vector<u8> p(8 + i % 300);
    for (size_t k = 0; k < p.size(); ++k) p[k] = u8(i * 31 + k);
    p[0] = u8(i);
    p[1] = u8(i >> 8);
    p[2] = u8(i >> 16);
    return p;
}

}  // namespace

TEST(Client, SendWithoutAConnectionQueuesNothing) {
    RecordingClient c;
    EXPECT_EQ(SendBytes(c, Bytes({1, 2})), CClient::SendNoSocket);
    EXPECT_EQ(c.PopReceived(), nullptr);
    EXPECT_EQ(c.GetFlags(), 0u);
}

TEST(Client, ConnectsInTheBackgroundAndExchangesMessages) {
    Connection k;
    ASSERT_TRUE(k.Open(1234));
    EXPECT_TRUE(k.client.IsConnected());
    EXPECT_EQ(k.client.GetFlags(), CClient::FlagSetUp | CClient::FlagConnected);
    EXPECT_TRUE(WaitUntil([&] { return k.client.Count(CClient::NetEventWritable) == 1; }));
    EXPECT_EQ(k.client.Count(CClient::NetEventConnected), 1u);
    EXPECT_EQ(k.client.lastUserValue.load(), 1234u);

    // Client to server, in order.
    ASSERT_EQ(SendBytes(k.client, Bytes({1, 2, 3})), CClient::SendQueued);
    ASSERT_EQ(SendBytes(k.client, Bytes({})), CClient::SendQueued);
    ASSERT_EQ(SendBytes(k.client, Bytes({9})), CClient::SendQueued);
    std::vector<u8> got;
    ASSERT_TRUE(k.server.RecvFrame(k.conn, &got));
    EXPECT_EQ(got, Bytes({1, 2, 3}));
    ASSERT_TRUE(k.server.RecvFrame(k.conn, &got));
    EXPECT_TRUE(got.empty());
    ASSERT_TRUE(k.server.RecvFrame(k.conn, &got));
    EXPECT_EQ(got, Bytes({9}));

    // Two frames merged into one write arrive as two messages.
    std::vector<u8> merged = Frame(Bytes({5, 6}));
    const std::vector<u8> second = Frame(Bytes({7}));
    merged.insert(merged.end(), second.begin(), second.end());
    ASSERT_TRUE(k.server.SendRaw(k.conn, merged.data(), u32(merged.size())));
    EXPECT_EQ(PopWithin(k.client), Bytes({5, 6}));
    EXPECT_EQ(PopWithin(k.client), Bytes({7}));

    // One frame split over three writes arrives once, whole.
    const std::vector<u8> split = Frame(Bytes({20, 21, 22, 23, 24, 25}));
    ASSERT_TRUE(k.server.SendRaw(k.conn, split.data(), 2));
    plat::Sleep(30);
    ASSERT_TRUE(k.server.SendRaw(k.conn, split.data() + 2, 5));
    plat::Sleep(30);
    EXPECT_EQ(k.client.PopReceived(), nullptr);
    ASSERT_TRUE(k.server.SendRaw(k.conn, split.data() + 7, u32(split.size() - 7)));
    EXPECT_EQ(PopWithin(k.client), Bytes({20, 21, 22, 23, 24, 25}));
    EXPECT_GE(k.client.Count(CClient::NetEventReceived), 1u);
}

TEST(Client, CompletionCallbackRunsOnceTheMessageIsSent) {
    static std::atomic<u32> s_arg{0};
    Connection k;
    ASSERT_TRUE(k.Open());
    const u8 payload[2] = {3, 4};
    NetMessage m;
    m.length = 2;
    m.data = payload;
    m.callbackArg = 99;
    m.callback = [](u32 arg) { s_arg.store(arg); };
    ASSERT_EQ(k.client.Send(m, 1), CClient::SendQueued);
    std::vector<u8> got;
    ASSERT_TRUE(k.server.RecvFrame(k.conn, &got));
    EXPECT_TRUE(WaitUntil([] { return s_arg.load() == 99; }));
}

TEST(Client, LargestFrameIsDeliveredAndLongerMessagesAreRefused) {
    Connection k;
    ASSERT_TRUE(k.Open());
    std::vector<u8> big(MaxFrameLength - 4);
    for (size_t i = 0; i < big.size(); i += 4093) big[i] = u8(i / 4093);
    ASSERT_TRUE(k.server.SendFrame(k.conn, big.data(), u32(big.size())));
    EXPECT_EQ(PopWithin(k.client), big);

    NetMessage m;
    m.length = MaxFrameLength - 3;
    m.data = big.data();
    EXPECT_EQ(k.client.Send(m, 1), CClient::SendRefused);
    EXPECT_TRUE(k.client.IsConnected());
}

TEST(Client, RefusedConnectionFailsWithoutAConnectEvent) {
    u16 port;
    {
        LoopbackServer closed;
        ASSERT_TRUE(closed.IsListening());
        port = closed.Port();
    }
    RecordingClient c;
    ASSERT_EQ(c.ConnectAsync(kHost, port, 3000, 0), 1);
    ASSERT_TRUE(WaitUntil([&] { return c.GetConnectState() == CClient::ConnectFailed; }));
    EXPECT_EQ(c.Count(CClient::NetEventConnected), 0u);
    EXPECT_FALSE(c.IsConnected());
    c.Disconnect();
}

TEST(Client, UnresolvableHostFailsTheBackgroundConnect) {
    RecordingClient c;
    ASSERT_EQ(c.ConnectAsync("", 1, 1000, 0), 1);
    ASSERT_TRUE(WaitUntil([&] { return c.GetConnectState() == CClient::ConnectFailed; }));
    EXPECT_EQ(c.GetFlags(), 0u);
}

TEST(Client, ConnectTimesOutWhenTheServerNeverAnswers) {
    LoopbackServer server(0);
    ASSERT_TRUE(server.IsListening());
    ASSERT_TRUE(server.FillBacklog());
    RecordingClient c;
    const u32 start = plat::TimeGetTime();
    ASSERT_EQ(c.ConnectAsync(kHost, server.Port(), 300, 0), 1);
    // Busy while the connect thread runs.
    EXPECT_EQ(c.ConnectAsync(kHost, server.Port(), 300, 0), 0);
    EXPECT_EQ(c.GetConnectState(), CClient::ConnectBusy);
    ASSERT_TRUE(WaitUntil([&] { return c.GetConnectState() != CClient::ConnectBusy; }));
    EXPECT_EQ(c.GetConnectState(), CClient::ConnectFailed);
    EXPECT_GE(plat::TimeGetTime() - start, 300u);
    EXPECT_FALSE(c.IsConnected());
    EXPECT_EQ(c.Count(CClient::NetEventConnected), 0u);
    c.Disconnect();
    EXPECT_EQ(c.GetFlags(), 0u);
}

TEST(Client, DisconnectDuringABackgroundConnectStopsItPromptly) {
    LoopbackServer server(0);
    ASSERT_TRUE(server.FillBacklog());
    RecordingClient c;
    ASSERT_EQ(c.ConnectAsync(kHost, server.Port(), 60000, 0), 1);
    plat::Sleep(20);
    const u32 start = plat::TimeGetTime();
    c.Disconnect();
    // Far below the connect's own minute, however busy the machine.
    EXPECT_LT(plat::TimeGetTime() - start, 20000u);
    EXPECT_EQ(c.GetConnectState(), CClient::ConnectFailed);
    EXPECT_EQ(c.GetFlags(), 0u);
}

TEST(Client, SendingWhileTheSocketWouldBlockDeliversEverythingInOrder) {
    Connection k;
    ASSERT_TRUE(k.Open());
    // Far more than the socket buffers hold. The server reads in bursts with
    // pauses, so the socket fills again and again, both inside a message
    // and between two.
    constexpr u32 kCount = 24576;
    constexpr u32 kSize = 1020;
    std::vector<u8> payload(kSize);
    for (u32 i = 0; i < kCount; ++i) {
        payload[0] = u8(i);
        payload[1] = u8(i >> 8);
        payload[kSize - 1] = u8(i * 7);
        ASSERT_EQ(SendBytes(k.client, payload), CClient::SendQueued);
    }
    plat::Sleep(200);
    std::vector<u8> got;
    for (u32 i = 0; i < kCount; ++i) {
        ASSERT_TRUE(k.server.RecvFrame(k.conn, &got)) << i;
        ASSERT_EQ(got.size(), kSize);
        ASSERT_EQ(got[0] | got[1] << 8, int(i & 0xFFFF));
        ASSERT_EQ(got[kSize - 1], u8(i * 7));
        if (i % 200 == 199) plat::Sleep(5);
    }
}

TEST(Client, MessageThatFindsTheSocketFullGoesFirstOnceThereIsRoom) {
    Connection k;
    ASSERT_TRUE(k.Open());
    // Fill the socket with raw bytes while the send thread is idle, so the
    // next message cannot put a single byte out.
    std::vector<u8> chunk(65536, 0xAB);
    u64 filled = 0;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < 100000; ++i) {
            plat::NetError err = plat::NetOk;
            const i32 n = plat::NetSend(k.client.GetSocket(), chunk.data(), u32(chunk.size()), &err);
            if (n <= 0) break;
            filled += u64(n);
        }
        plat::Sleep(50);
    }
    ASSERT_GT(filled, 0u);
    ASSERT_EQ(SendBytes(k.client, Bytes({1, 1})), CClient::SendQueued);
    ASSERT_EQ(SendBytes(k.client, Bytes({2, 2})), CClient::SendQueued);
    ASSERT_TRUE(WaitUntil([&] { return k.client.GetSendRetryCount() >= 2; }));

    while (filled > 0) {
        const u32 n = u32(std::min<u64>(filled, chunk.size()));
        ASSERT_TRUE(k.server.RecvRaw(k.conn, chunk.data(), n));
        filled -= n;
    }
    std::vector<u8> got;
    ASSERT_TRUE(k.server.RecvFrame(k.conn, &got));
    EXPECT_EQ(got, Bytes({1, 1}));
    ASSERT_TRUE(k.server.RecvFrame(k.conn, &got));
    EXPECT_EQ(got, Bytes({2, 2}));
}

TEST(Client, CloseByTheServerEndsTheConnectionOnce) {
    Connection k;
    ASSERT_TRUE(k.Open());
    k.server.Close(k.conn);
    ASSERT_TRUE(WaitUntil([&] { return k.client.Count(CClient::NetEventClosed) == 1; }));
    EXPECT_EQ(k.client.GetFlags(), 0u);
    EXPECT_EQ(k.client.GetSocket(), plat::InvalidSocket);
    EXPECT_EQ(k.client.PopReceived(), nullptr);
    EXPECT_EQ(SendBytes(k.client, Bytes({1})), CClient::SendNoSocket);
    k.client.Disconnect();
    k.client.Disconnect();
    EXPECT_EQ(k.client.Count(CClient::NetEventClosed), 1u);

    // The client can connect again afterwards.
    ASSERT_EQ(k.client.ConnectAsync(kHost, k.server.Port(), 3000, 0), 1);
    const int again = k.server.Accept();
    ASSERT_GE(again, 0);
    ASSERT_TRUE(WaitUntil([&] { return k.client.GetConnectState() == CClient::ConnectDone; }));
    ASSERT_EQ(SendBytes(k.client, Bytes({8, 8})), CClient::SendQueued);
    std::vector<u8> got;
    ASSERT_TRUE(k.server.RecvFrame(again, &got));
    EXPECT_EQ(got, Bytes({8, 8}));
}

TEST(Client, DataSentJustBeforeTheCloseIsReadFirst) {
    Connection k;
    ASSERT_TRUE(k.Open());
    // The close is only seen once every byte before it was read, so the
    // message reaches the queue before the close empties it.
    ASSERT_TRUE(k.server.SendFrame(k.conn, "\x05", 1));
    k.server.Close(k.conn);
    ASSERT_TRUE(WaitUntil([&] { return k.client.Count(CClient::NetEventClosed) == 1; }));
    EXPECT_EQ(k.client.Count(CClient::NetEventReceived), 1u);
}

TEST(Client, DisconnectByTheClientClosesTheServerSideAndIsSafeTwice) {
    Connection k;
    ASSERT_TRUE(k.Open());
    k.client.Disconnect();
    EXPECT_TRUE(k.server.WaitPeerClosed(k.conn));
    EXPECT_EQ(k.client.GetFlags(), 0u);
    EXPECT_EQ(k.client.Count(CClient::NetEventClosed), 0u);
    k.client.Disconnect();
    EXPECT_EQ(SendBytes(k.client, Bytes({1})), CClient::SendNoSocket);
}

TEST(Client, PeerCloseRacingAMainThreadDisconnectIsHarmless) {
    for (int round = 0; round < 8; ++round) {
        Connection k;
        ASSERT_TRUE(k.Open());
        ASSERT_TRUE(k.server.SendFrame(k.conn, "\x01\x02", 2));
        k.server.Close(k.conn);
        plat::Sleep(u32(round));
        delete k.client.PopReceived();  // the popped message belongs to the caller
        k.client.Disconnect();
        EXPECT_EQ(k.client.GetFlags(), 0u);
        EXPECT_LE(k.client.Count(CClient::NetEventClosed), 1u);
    }
}

TEST(Client, HostileFrameLengthsCloseTheConnection) {
    for (u32 total : {0u, 3u, MaxFrameLength + 1, 0xFFFFFFF0u}) {
        Connection k;
        ASSERT_TRUE(k.Open());
        // A good message first: it must still arrive.
        ASSERT_TRUE(k.server.SendFrame(k.conn, "\x11", 1));
        EXPECT_EQ(PopWithin(k.client), Bytes({0x11}));
        const u8 head[4] = {u8(total), u8(total >> 8), u8(total >> 16), u8(total >> 24)};
        ASSERT_TRUE(k.server.SendRaw(k.conn, head, 4));
        EXPECT_TRUE(k.server.WaitPeerClosed(k.conn)) << total;
        EXPECT_TRUE(WaitUntil([&] { return k.client.Count(CClient::NetEventClosed) == 1; })) << total;
        EXPECT_EQ(k.client.GetFlags(), 0u);
    }
}

TEST(Client, ReadSeenBeforeConnectedKeepsTheWriteOfTheSameSet) {
    LoopbackServer server;
    HandDrivenClient c;
    ASSERT_EQ(c.Connect(kHost, server.Port(), 0), CClient::ConnectOk);
    const int conn = server.Accept();
    ASSERT_GE(conn, 0);
    ASSERT_TRUE(server.SendFrame(conn, "\x33", 1));
    ASSERT_EQ(plat::NetWaitReadable(c.GetSocket(), kHangMs), 1);
    EXPECT_FALSE(c.IsConnected());

    plat::NetEvents ev;
    ev.events = plat::NetEventRead | plat::NetEventWrite;
    EXPECT_TRUE(c.HandleNetEvents(ev));
    EXPECT_TRUE(c.IsConnected());
    EXPECT_EQ(PopWithin(c, 100), Bytes({0x33}));
    EXPECT_EQ(c.Count(CClient::NetEventReceived), 1u);
    EXPECT_EQ(c.Count(CClient::NetEventWritable), 1u);
}

TEST(Client, ResetByTheServerClosesTheConnection) {
    Connection k;
    ASSERT_TRUE(k.Open());
    // A reset (close with unread data on the server side) is an error on read.
    ASSERT_EQ(SendBytes(k.client, Bytes({1, 2, 3})), CClient::SendQueued);
    plat::Sleep(50);
    k.server.Close(k.conn);
    ASSERT_TRUE(WaitUntil([&] { return k.client.Count(CClient::NetEventClosed) == 1; }));
    EXPECT_EQ(k.client.GetFlags(), 0u);
    EXPECT_EQ(k.client.GetSocket(), plat::InvalidSocket);
}

TEST(Client, MessageFromANetworkThreadIsShownByTheMainThread) {
    NoticeClient c;
    testing::internal::CaptureStderr();
    std::thread worker([&] { c.LeaveNotice("WSAEventSelect:エラー！"); });
    worker.join();
    const std::string whileAway = testing::internal::GetCapturedStderr();
    EXPECT_EQ(whileAway.find("WSAEventSelect"), std::string::npos);
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.PopReceived(), nullptr);
    EXPECT_EQ(c.PopReceived(), nullptr);
    const std::string shown = testing::internal::GetCapturedStderr();
    const size_t first = shown.find("WSAEventSelect:エラー！");
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(shown.find("WSAEventSelect", first + 1), std::string::npos);  // shown once
}

TEST(Client, MessagesBeforeACloseAreDeliveredBeforeTheCloseShows) {
    struct Case {
        const char* name;
        bool badFrame;  // end with a hostile length instead of a plain close
        u32 reason;
    };
    const Case cases[] = {
        {"close", false, CClient::ClosePeer},
        {"bad frame", true, CClient::CloseBadFrame},
    };
    for (const Case& c : cases) {
        Connection k;
        ASSERT_TRUE(k.Open()) << c.name;
        std::vector<u8> burst;
        for (u8 i = 1; i <= 3; ++i) {
            const std::vector<u8> f = Frame(Bytes({i, u8(i * 2)}));
            burst.insert(burst.end(), f.begin(), f.end());
        }
        if (c.badFrame) {
            burst.insert(burst.end(), 4, 0xFF);
        } else {
            // Half a frame: the close cuts it short, so it never arrives.
            const std::vector<u8> cut = Frame(Bytes({7, 7, 7, 7}));
            burst.insert(burst.end(), cut.begin(), cut.begin() + 5);
        }
        ASSERT_TRUE(k.server.SendRaw(k.conn, burst.data(), u32(burst.size())));
        if (!c.badFrame) k.server.Close(k.conn);
        ASSERT_TRUE(WaitUntil([&] { return k.client.Count(CClient::NetEventClosed) == 1; })) << c.name;
        EXPECT_EQ(k.client.GetCloseReason(), c.reason) << c.name;
        EXPECT_EQ(k.client.GetSocket(), plat::InvalidSocket);
        for (u8 i = 1; i <= 3; ++i) {
            EXPECT_TRUE(k.client.IsConnected()) << c.name << " " << int(i);
            EXPECT_EQ(PopWithin(k.client, 100), Bytes({i, u8(i * 2)})) << c.name;
        }
        EXPECT_EQ(k.client.GetFlags(), 0u) << c.name;
        EXPECT_EQ(k.client.PopReceived(), nullptr);
        EXPECT_EQ(SendBytes(k.client, Bytes({1})), CClient::SendNoSocket);
    }
}

TEST(Client, FloodWithASlowReaderStaysWithinTheQueueBoundsAndLosesNothing) {
    constexpr u64 kBytes = 16384;
    constexpr u32 kMessages = 64;
    constexpr u32 kCount = 6000;
    BasicConnection<BoundedClient> k(kBytes, kMessages, 60000u);
    ASSERT_TRUE(k.Open());
    std::atomic<bool> sentAll{false};
    std::thread flood([&] {
        bool ok = true;
        for (u32 i = 0; i < kCount && ok; ++i) {
            const std::vector<u8> p = FloodPayload(i);
            ok = k.server.SendFrame(k.conn, p.data(), u32(p.size()));
        }
        sentAll.store(ok);
    });
    // The reader takes a few messages a millisecond, far slower than the
    // loopback can carry them.
    u32 next = 0;
    const u32 start = plat::TimeGetTime();
    while (next < kCount && plat::TimeGetTime() - start < 60000) {
        for (int i = 0; i < 11 && next < kCount; ++i) {
            std::unique_ptr<RECVQUEUE> node(k.client.PopReceived());
            if (!node) break;
            const std::vector<u8> want = FloodPayload(next);
            ASSERT_EQ(std::vector<u8>(node->payload, node->payload + node->size), want) << next;
            ++next;
        }
        plat::Sleep(1);
    }
    flood.join();
    EXPECT_TRUE(sentAll.load());
    EXPECT_EQ(next, kCount);
    u64 peakBytes = 0;
    u32 peakMessages = 0;
    k.client.GetReceivePeak(&peakBytes, &peakMessages);
    EXPECT_LE(peakBytes, kBytes);
    EXPECT_LE(peakMessages, kMessages);
    EXPECT_GT(peakMessages, kMessages / 2);  // the bound was really reached
    EXPECT_EQ(k.client.Count(CClient::NetEventClosed), 0u);
    EXPECT_TRUE(k.client.IsConnected());
}

TEST(Client, QueueThatStaysFullEndsTheConnectionAsAnOverflow) {
    BasicConnection<BoundedClient> k(u64(1) << 20, 8u, 200u);
    ASSERT_TRUE(k.Open());
    for (u32 i = 0; i < 40; ++i) {
        const std::vector<u8> p = FloodPayload(i);
        ASSERT_TRUE(k.server.SendFrame(k.conn, p.data(), u32(p.size())));
    }
    ASSERT_TRUE(WaitUntil([&] { return k.client.Count(CClient::NetEventClosed) == 1; }));
    EXPECT_EQ(k.client.GetCloseReason(), CClient::CloseOverflow);
    EXPECT_TRUE(k.server.WaitPeerClosed(k.conn));
    // What was queued is still handed out, oldest first.
    for (u32 i = 0; i < 8; ++i) EXPECT_EQ(PopWithin(k.client, 100), FloodPayload(i)) << i;
    EXPECT_EQ(k.client.GetFlags(), 0u);
    EXPECT_EQ(k.client.PopReceived(), nullptr);
}
