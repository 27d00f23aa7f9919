#include "roomserver/BulkStore.h"

#include <cstring>

#include "platform/core/ByteOrder.h"
#include "platform/core/FileSystem.h"

BulkFrame::~BulkFrame()
{
    if (store_) store_->Release(*this);
}

BulkStore::BulkStore(u64 memoryBound) : memoryBound_(memoryBound) {}

BulkStore::~BulkStore() { plat::CloseFile(file_); }

// Made for the first frame past the memory bound; when it cannot be, every
// frame stays in memory.
bool BulkStore::OpenFile()
{
    if (file_ != plat::InvalidFile) return true;
    if (fileFailed_) return false;
    file_ = plat::OpenScratchFile();
    fileFailed_ = file_ == plat::InvalidFile;
    return !fileFailed_;
}

std::shared_ptr<BulkFrame> BulkStore::InMemory(const u8* m, u32 size)
{
    std::shared_ptr<BulkFrame> f(new BulkFrame);
    f->size_ = 4 + size;
    f->bytes_.resize(f->size_);
    PutU32(f->bytes_.data(), f->size_);
    std::memcpy(f->bytes_.data() + 4, m, size);
    return f;
}

std::shared_ptr<const BulkFrame> BulkStore::Own(const u8* m, u32 size) { return InMemory(m, size); }

std::shared_ptr<const BulkFrame> BulkStore::Put(const u8* m, u32 size)
{
    const u32 framed = 4 + size;
    if (memory_ + framed > memoryBound_ && OpenFile()) {
        u8 header[4];
        PutU32(header, framed);
        if (plat::SeekFile(file_, fileEnd_) && plat::WriteFile(file_, header, 4) == 4 &&
            plat::WriteFile(file_, m, size) == i64(size)) {
            std::shared_ptr<BulkFrame> f(new BulkFrame);
            f->store_ = this;
            f->size_ = framed;
            f->offset_ = fileEnd_;
            fileEnd_ += framed;
            fileLive_ += framed;
            return f;
        }
        // A full disk keeps the frame in memory rather than lose a reader's upload.
    }
    std::shared_ptr<BulkFrame> f = InMemory(m, size);
    f->store_ = this;
    memory_ += framed;
    return f;
}

bool BulkStore::Read(const BulkFrame& frame, u32 at, u8* to, u32 n) const
{
    if (frame.Memory()) {
        std::memcpy(to, frame.Memory() + at, n);
        return true;
    }
    return plat::SeekFile(file_, frame.offset_ + at) && plat::ReadFile(file_, to, n) == i64(n);
}

void BulkStore::Release(BulkFrame& frame)
{
    if (frame.Memory()) {
        memory_ -= frame.size_;
        freed_ += frame.bytes_.capacity();
        return;
    }
    fileLive_ -= frame.size_;
    if (fileLive_ == 0) {
        // Nothing held: the file starts over.
        if (plat::TruncateFile(file_, 0)) fileEnd_ = 0;
        return;
    }
    // The disk blocks go back now; the offsets of the frames after it stay.
    plat::DiscardFileRange(file_, frame.offset_, frame.size_);
}
