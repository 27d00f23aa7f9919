#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/net/NetQueue.h"

namespace {

using Recv = CRecvQueue<RECVQUEUE>;
using SendQ = CSendQueue<SENDQUEUE>;

std::vector<u8> Frame(const std::vector<u8>& payload) {
    const u32 total = u32(payload.size()) + 4;
    std::vector<u8> f = {u8(total), u8(total >> 8), u8(total >> 16), u8(total >> 24)};
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

std::vector<u8> Header(u32 total) { return {u8(total), u8(total >> 8), u8(total >> 16), u8(total >> 24)}; }

// Cuts every whole message, as the receive path does after each read.
int CutAll(Recv& q) {
    int r;
    while ((r = q.CutMessage(nullptr, 0)) == Recv::CutMore) {
    }
    return r;
}

std::vector<u8> PopPayload(Recv& q) {
    std::unique_ptr<RECVQUEUE> node(q.Pop());
    if (!node) return {9, 9, 9};
    return std::vector<u8>(node->payload, node->payload + node->size);
}

}  // namespace

TEST(NetQueue, TwoMessagesInOneReadGiveTwoNodesInOrder) {
    Recv q;
    std::vector<u8> bytes = Frame({1, 2, 3});
    const std::vector<u8> second = Frame({4, 5});
    bytes.insert(bytes.end(), second.begin(), second.end());
    ASSERT_EQ(q.Append(bytes.data(), i32(bytes.size())), Recv::AppendOk);
    EXPECT_EQ(CutAll(q), Recv::CutDone);
    ASSERT_EQ(q.GetCount(), 2u);
    EXPECT_EQ(PopPayload(q), (std::vector<u8>{1, 2, 3}));
    EXPECT_EQ(PopPayload(q), (std::vector<u8>{4, 5}));
    EXPECT_EQ(q.PendingBytes(), 0u);
}

TEST(NetQueue, MessageSplitOverThreeReadsAppearsAfterTheThird) {
    Recv q;
    const std::vector<u8> f = Frame({10, 11, 12, 13, 14, 15});
    ASSERT_EQ(q.Append(f.data(), 2), Recv::AppendOk);  // not even the whole length
    EXPECT_EQ(CutAll(q), Recv::CutIncomplete);
    ASSERT_EQ(q.Append(f.data() + 2, 5), Recv::AppendOk);
    EXPECT_EQ(CutAll(q), Recv::CutIncomplete);
    EXPECT_EQ(q.GetCount(), 0u);
    ASSERT_EQ(q.Append(f.data() + 7, i32(f.size() - 7)), Recv::AppendOk);
    EXPECT_EQ(CutAll(q), Recv::CutDone);
    ASSERT_EQ(q.GetCount(), 1u);
    EXPECT_EQ(PopPayload(q), (std::vector<u8>{10, 11, 12, 13, 14, 15}));
}

TEST(NetQueue, FrameOfOnlyTheLengthGivesAnEmptyMessage) {
    Recv q;
    const std::vector<u8> f = Header(4);
    ASSERT_EQ(q.Append(f.data(), 4), Recv::AppendOk);
    EXPECT_EQ(CutAll(q), Recv::CutDone);
    std::unique_ptr<RECVQUEUE> node(q.Pop());
    ASSERT_TRUE(node);
    EXPECT_EQ(node->size, 0u);
    ASSERT_NE(node->payload, nullptr);
    EXPECT_EQ(node->payload[0], 0);
}

TEST(NetQueue, LengthsOutOfBoundsAreRefusedBeforeAnyAllocation) {
    for (u32 total : {0u, 3u, MaxFrameLength + 1, 0xFFFFFFFFu}) {
        Recv q;
        const std::vector<u8> f = Header(total);
        ASSERT_EQ(q.Append(f.data(), 4), Recv::AppendOk);
        EXPECT_EQ(q.CutMessage(nullptr, 0), Recv::CutBadLength) << total;
        EXPECT_EQ(q.GetCount(), 0u);
    }
    Recv q;
    const std::vector<u8> f = Header(MaxFrameLength);
    ASSERT_EQ(q.Append(f.data(), 4), Recv::AppendOk);
    EXPECT_EQ(q.CutMessage(nullptr, 0), Recv::CutIncomplete);
}

TEST(NetQueue, AppendRefusesNothingAndEmptyInput) {
    Recv q;
    u8 b = 1;
    EXPECT_EQ(q.Append(nullptr, 4), Recv::AppendNothing);
    EXPECT_EQ(q.Append(&b, 0), Recv::AppendNothing);
    EXPECT_EQ(q.Append(&b, -1), Recv::AppendNothing);
    EXPECT_EQ(q.CutMessage(nullptr, 0), Recv::CutNoBuffer);
}

TEST(NetQueue, CutGoesToTheTargetQueueWithItsTag) {
    Recv q;
    CQueue<RECVQUEUE> target;
    const std::vector<u8> f = Frame({42});
    ASSERT_EQ(q.Append(f.data(), i32(f.size())), Recv::AppendOk);
    EXPECT_EQ(q.CutMessage(&target, 77), Recv::CutDone);
    EXPECT_EQ(q.GetCount(), 0u);
    std::unique_ptr<RECVQUEUE> node(target.Pop());
    ASSERT_TRUE(node);
    EXPECT_EQ(node->tag, 77u);
    EXPECT_EQ(node->payload[0], 42);
}

TEST(NetQueue, LongStreamFedInOddPiecesComesOutIntact) {
    // Many messages of varying size through reads that cut them anywhere:
    // exercises growing, compacting and cutting of the reassembly buffer.
    std::vector<u8> stream;
    std::vector<std::vector<u8>> sent;
    for (u32 i = 0; i < 3000; ++i) {
        std::vector<u8> p((i * 37) % 700);
        for (size_t k = 0; k < p.size(); ++k) p[k] = u8(i + k);
        const std::vector<u8> f = Frame(p);
        stream.insert(stream.end(), f.begin(), f.end());
        sent.push_back(std::move(p));
    }
    Recv q;
    size_t at = 0;
    u32 piece = 1;
    while (at < stream.size()) {
        const size_t n = std::min<size_t>(stream.size() - at, piece);
        ASSERT_EQ(q.Append(stream.data() + at, i32(n)), Recv::AppendOk);
        CutAll(q);
        at += n;
        piece = piece * 7 % 4093 + 1;
    }
    ASSERT_EQ(q.GetCount(), sent.size());
    for (const auto& p : sent) ASSERT_EQ(PopPayload(q), p);
    EXPECT_EQ(q.PendingBytes(), 0u);
}

TEST(NetQueue, InitDropsMessagesAndPendingBytes) {
    Recv q;
    std::vector<u8> bytes = Frame({1});
    bytes.push_back(9);
    ASSERT_EQ(q.Append(bytes.data(), i32(bytes.size())), Recv::AppendOk);
    CutAll(q);
    q.Init();
    EXPECT_EQ(q.GetCount(), 0u);
    EXPECT_EQ(q.PendingBytes(), 0u);
    EXPECT_EQ(q.CutMessage(nullptr, 0), Recv::CutNoBuffer);
}

TEST(NetQueue, PushMessageFramesBehindALittleEndianTotal) {
    SendQ q;
    const u8 payload[3] = {0xA1, 0xB2, 0xC3};
    NetMessage m;
    m.length = 3;
    m.data = payload;
    m.callbackArg = 5;
    ASSERT_EQ(q.PushMessage(12, m), SendQ::PushOk);
    std::unique_ptr<SENDQUEUE> node(q.Pop());
    ASSERT_TRUE(node);
    EXPECT_EQ(node->socket, 12);
    ASSERT_EQ(node->length, 7u);
    EXPECT_EQ(std::vector<u8>(node->message, node->message + 7),
              (std::vector<u8>{7, 0, 0, 0, 0xA1, 0xB2, 0xC3}));
    EXPECT_EQ(node->callbackArg, 5u);
}

TEST(NetQueue, PushMessageRefusesWhatNoFrameCanCarry) {
    SendQ q;
    NetMessage m;
    m.length = MaxFrameLength - 3;
    m.data = "";
    EXPECT_EQ(q.PushMessage(1, m), SendQ::PushTooLong);
    m.length = 0xFFFFFFFFu;  // would wrap the framed length
    EXPECT_EQ(q.PushMessage(1, m), SendQ::PushTooLong);
    m.length = 10;
    m.data = nullptr;
    EXPECT_NE(q.PushMessage(1, m), SendQ::PushOk);
    EXPECT_EQ(q.GetCount(), 0u);
    m.length = 0;
    EXPECT_EQ(q.PushMessage(1, m), SendQ::PushOk);
    EXPECT_EQ(q.GetCount(), 1u);
}
