#pragma once
// The network client's queues: whole received messages with the reassembly
// buffer of the byte stream, and framed messages waiting to be sent.
//
// Wire framing: a u32 little-endian total length that counts its own 4 bytes,
// then the payload. The queues themselves take no lock; the client guards
// each with its own.
#include "engine/core/Queue.h"
#include "platform/core/Types.h"

// Largest frame (length field included) either side may send. A peer that
// announces more, or less than the 4 length bytes, is cut off rather than
// trusted with an allocation.
inline constexpr u32 MaxFrameLength = 16u << 20;
inline constexpr u32 FrameHeaderSize = 4;

// One message as a sender hands it to CClient::Send.
struct NetMessage {
    u32 length = 0;
    const void* data = nullptr;
    u32 callbackArg = 0;
    void (*callback)(u32 arg) = nullptr;  // called on the send thread once sent
};

// One received message; deleting it frees the payload.
struct RECVQUEUE : CQueueNode<RECVQUEUE> {
    RECVQUEUE() = default;
    ~RECVQUEUE() override;

    u32 size = 0;
    u8* payload = nullptr;
    u32 tag = 0;
};

// One framed message waiting to go out; deleting it frees the message.
struct SENDQUEUE : CQueueNode<SENDQUEUE> {
    SENDQUEUE() = default;
    ~SENDQUEUE() override;

    i32 socket = -1;
    u8* message = nullptr;
    u32 length = 0;
    u32 callbackArg = 0;
    void (*callback)(u32 arg) = nullptr;
};

template <class T>
class CRecvQueue;

// Received messages plus the bytes of a message not yet complete.
template <>
class CRecvQueue<RECVQUEUE> : public CQueue<RECVQUEUE> {
public:
    // Results of Append and CutMessage.
    enum : int {
        AppendOk = 0,
        AppendNothing = 1,   // null bytes or n <= 0
        AppendNoMemory = 2,
        AppendTooMuch = 3,   // more pending than one frame can need

        CutMore = 0,         // a message was cut and bytes remain
        CutNoBuffer = 2,
        CutIncomplete = 3,   // wait for more bytes
        CutNoNode = 4,
        CutDone = 5,         // a message was cut and nothing remains
        CutNoMemory = 6,
        CutBadLength = 8,    // length field below 4 or above MaxFrameLength
    };

    CRecvQueue() = default;
    ~CRecvQueue() override;

    // Frees the reassembly buffer and every queued message.
    void Init() override;
    void DeleteAll() override;
    RECVQUEUE* Pop() override;
    void PushFront(RECVQUEUE* node) override;

    int Append(const u8* bytes, i32 n);
    // Cuts the first whole message off the reassembly buffer into target's
    // queue (this queue when target is null), tagged with tag.
    int CutMessage(CQueue<RECVQUEUE>* target, u32 tag);

    // Bytes waiting in the reassembly buffer.
    u32 PendingBytes() const { return length_; }
    // Payload bytes of the whole messages queued here.
    u64 QueuedBytes() const { return queuedBytes_; }
    // Bytes still missing before the frame at the front is whole (the rest
    // of the length field while that is incomplete).
    u32 MissingBytes() const;
    // Drops the bytes of a frame that can no longer complete.
    void DropPending() { FreeBuffer(); }

private:
    void FreeBuffer();

    // Live bytes are buffer_[start_ .. start_ + length_). Cutting advances
    // start_ and appending grows the block geometrically, so a long burst of
    // messages costs linear copying, not quadratic.
    u8* buffer_ = nullptr;
    u32 capacity_ = 0;
    u32 start_ = 0;
    u32 length_ = 0;
    u64 queuedBytes_ = 0;
};

template <class T>
class CSendQueue;

// Framed messages in sending order.
template <>
class CSendQueue<SENDQUEUE> : public CQueue<SENDQUEUE> {
public:
    enum : int { PushOk = 0, PushNoMemory = 1, PushNoNode = 2, PushTooLong = 3 };

    void Init() override { DeleteAll(); }

    // Frames the message behind its length and queues it.
    int PushMessage(i32 socket, const NetMessage& message);
};
