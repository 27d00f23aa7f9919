#pragma once
// The frames of uploads and parts, kept once for all their readers: in
// memory up to a bound, past it in a temporary file the store makes and
// unlinks at once, so a slow reader costs the server disk, not memory. A
// frame is given back (its memory freed, its file space punched out) when
// its last reader lets go of it.
#include <memory>
#include <vector>

#include "platform/core/FileSystem.h"
#include "platform/core/Types.h"

class BulkStore;

// One framed message (u32 total length, itself included, then the message).
class BulkFrame {
public:
    BulkFrame(const BulkFrame&) = delete;
    BulkFrame& operator=(const BulkFrame&) = delete;
    ~BulkFrame();
    u32 Size() const { return size_; }
    // The whole frame when it is in memory, else null: read it with BulkStore::Read.
    const u8* Memory() const { return bytes_.empty() ? nullptr : bytes_.data(); }
    // Kept by a store for many readers, not a message of one reader's own.
    bool Shared() const { return store_ != nullptr; }

private:
    friend class BulkStore;
    BulkFrame() = default;
    BulkStore* store_ = nullptr;  // null: a frame of its own, not counted by a store
    std::vector<u8> bytes_;
    u64 offset_ = 0;  // in the store's file when bytes_ is empty
    u32 size_ = 0;
};

class BulkStore {
public:
    // Frames past memoryBound bytes in memory go to the file.
    explicit BulkStore(u64 memoryBound);
    ~BulkStore();
    BulkStore(const BulkStore&) = delete;
    BulkStore& operator=(const BulkStore&) = delete;

    // A frame of the message m, for as many readers as hold it.
    std::shared_ptr<const BulkFrame> Put(const u8* m, u32 size);
    // A frame held in memory and not counted: a message for one reader.
    static std::shared_ptr<const BulkFrame> Own(const u8* m, u32 size);
    // Copies n bytes of the frame from `at` on; false when the file fails.
    bool Read(const BulkFrame& frame, u32 at, u8* to, u32 n) const;

    u64 MemoryBytes() const { return memory_; }
    u64 FileBytes() const { return fileLive_; }
    // Memory given back since last asked (the caller has the allocator trim it).
    u64 TakeFreed()
    {
        const u64 n = freed_;
        freed_ = 0;
        return n;
    }

private:
    friend class BulkFrame;
    void Release(BulkFrame& frame);
    bool OpenFile();
    // A frame of the message m held in memory, counted by no store yet.
    static std::shared_ptr<BulkFrame> InMemory(const u8* m, u32 size);

    u64 memoryBound_;
    u64 memory_ = 0;
    u64 freed_ = 0;
    plat::FileId file_ = plat::InvalidFile;
    bool fileFailed_ = false;
    u64 fileEnd_ = 0;   // where the next frame goes
    u64 fileLive_ = 0;  // bytes of frames still held there
};
