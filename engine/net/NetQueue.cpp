#include "engine/net/NetQueue.h"

#include <cstring>
#include <new>

#include "platform/core/ByteOrder.h"

namespace {

// The receive side never needs more than one frame short of complete plus
// one read's worth of bytes.
constexpr u32 kMaxPending = 2 * MaxFrameLength;


}  // namespace

RECVQUEUE::~RECVQUEUE() { delete[] payload; }

SENDQUEUE::~SENDQUEUE() { delete[] message; }

CRecvQueue<RECVQUEUE>::~CRecvQueue() { FreeBuffer(); }

void CRecvQueue<RECVQUEUE>::FreeBuffer() {
    delete[] buffer_;
    buffer_ = nullptr;
    capacity_ = start_ = length_ = 0;
}

void CRecvQueue<RECVQUEUE>::Init() {
    FreeBuffer();
    DeleteAll();
}

void CRecvQueue<RECVQUEUE>::DeleteAll() {
    CQueue<RECVQUEUE>::DeleteAll();
    queuedBytes_ = 0;
}

RECVQUEUE* CRecvQueue<RECVQUEUE>::Pop() {
    RECVQUEUE* node = CQueue<RECVQUEUE>::Pop();
    if (node != nullptr) queuedBytes_ -= node->size;
    return node;
}

void CRecvQueue<RECVQUEUE>::PushFront(RECVQUEUE* node) {
    if (node == nullptr) return;
    CQueue<RECVQUEUE>::PushFront(node);
    queuedBytes_ += node->size;
}

u32 CRecvQueue<RECVQUEUE>::MissingBytes() const {
    if (length_ < FrameHeaderSize) return FrameHeaderSize - length_;
    const u32 total = GetU32(buffer_ + start_);
    return total > length_ ? total - length_ : 0;
}

int CRecvQueue<RECVQUEUE>::Append(const u8* bytes, i32 n) {
    if (bytes == nullptr || n <= 0) return AppendNothing;
    const u32 add = u32(n);
    if (add > kMaxPending - length_) return AppendTooMuch;
    const u32 need = length_ + add;
    if (start_ + need > capacity_) {
        if (need <= capacity_ && length_ <= capacity_ / 2) {
            // Enough room once the consumed front is dropped.
            std::memmove(buffer_, buffer_ + start_, length_);
        } else {
            u32 grown = capacity_ < 4096 ? 4096 : capacity_;
            while (grown < need) grown = grown > kMaxPending / 2 ? kMaxPending : grown * 2;
            u8* block = new (std::nothrow) u8[grown];
            if (block == nullptr) return AppendNoMemory;
            if (length_ > 0) std::memcpy(block, buffer_ + start_, length_);
            delete[] buffer_;
            buffer_ = block;
            capacity_ = grown;
        }
        start_ = 0;
    }
    std::memcpy(buffer_ + start_ + length_, bytes, add);
    length_ = need;
    return AppendOk;
}

int CRecvQueue<RECVQUEUE>::CutMessage(CQueue<RECVQUEUE>* target, u32 tag) {
    if (buffer_ == nullptr || length_ == 0) {
        FreeBuffer();
        return CutNoBuffer;
    }
    if (length_ < FrameHeaderSize) return CutIncomplete;
    const u8* front = buffer_ + start_;
    const u32 total = GetU32(front);
    if (total < FrameHeaderSize || total > MaxFrameLength) return CutBadLength;
    if (length_ < total) return CutIncomplete;

    const u32 size = total - FrameHeaderSize;
    // An empty message still gets one zero byte, so a reader that looks at
    // the identifier byte finds 0 instead of a null pointer.
    u8* payload = new (std::nothrow) u8[size > 0 ? size : 1];
    if (payload == nullptr) return CutNoMemory;
    if (size > 0) {
        std::memcpy(payload, front + FrameHeaderSize, size);
    } else {
        payload[0] = 0;
    }
    RECVQUEUE* node = target ? target->Add() : Add();
    if (node == nullptr) {
        delete[] payload;
        return CutNoNode;
    }
    node->size = size;
    node->payload = payload;
    node->tag = tag;
    if (target == nullptr) queuedBytes_ += size;

    start_ += total;
    length_ -= total;
    if (length_ == 0) {
        FreeBuffer();
        return CutDone;
    }
    return CutMore;
}

int CSendQueue<SENDQUEUE>::PushMessage(i32 socket, const NetMessage& message) {
    if (message.length > MaxFrameLength - FrameHeaderSize) return PushTooLong;
    if (message.length > 0 && message.data == nullptr) return PushNoMemory;
    const u32 framed = message.length + FrameHeaderSize;
    u8* block = new (std::nothrow) u8[framed];
    if (block == nullptr) return PushNoMemory;
    PutU32(block, framed);
    if (message.length > 0) std::memcpy(block + FrameHeaderSize, message.data, message.length);
    SENDQUEUE* node = Add();
    if (node == nullptr) {
        delete[] block;
        return PushNoNode;
    }
    node->socket = socket;
    node->message = block;
    node->length = framed;
    node->callbackArg = message.callbackArg;
    node->callback = message.callback;
    return PushOk;
}
