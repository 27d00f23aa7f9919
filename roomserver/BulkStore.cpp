#include "roomserver/BulkStore.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "platform/core/ByteOrder.h"

BulkFrame::~BulkFrame()
{
    if (store_) store_->Release(*this);
}

BulkStore::BulkStore(u64 memoryBound) : memoryBound_(memoryBound) {}

BulkStore::~BulkStore()
{
    if (file_ >= 0) ::close(file_);
}

// The file is unlinked as soon as it is made: nothing is left behind
// however the server ends, and nobody else can open it.
bool BulkStore::OpenFile()
{
    if (file_ >= 0) return true;
    if (fileFailed_) return false;
    const char* folder = std::getenv("TMPDIR");
    for (const char* at : {folder && *folder ? folder : "/tmp", "/tmp"}) {
        std::string path = std::string(at) + "/quillon-room-XXXXXX";
        file_ = ::mkstemp(path.data());
        if (file_ >= 0) {
            ::unlink(path.c_str());
            break;
        }
    }
    if (file_ < 0) {
        fileFailed_ = true;
        return false;
    }
    ::fcntl(file_, F_SETFD, FD_CLOEXEC);
    return true;
}

namespace {

bool WriteAll(int file, const u8* p, size_t n, u64 at)
{
    while (n > 0) {
        const ssize_t w = ::pwrite(file, p, n, off_t(at));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= size_t(w);
        at += u64(w);
    }
    return true;
}

}  // namespace

std::shared_ptr<const BulkFrame> BulkStore::Own(const u8* m, u32 size)
{
    std::shared_ptr<BulkFrame> f(new BulkFrame);
    f->size_ = 4 + size;
    f->bytes_.resize(f->size_);
    PutU32(f->bytes_.data(), f->size_);
    std::memcpy(f->bytes_.data() + 4, m, size);
    return f;
}

std::shared_ptr<const BulkFrame> BulkStore::Put(const u8* m, u32 size)
{
    std::shared_ptr<BulkFrame> f(new BulkFrame);
    f->store_ = this;
    f->size_ = 4 + size;
    if (memory_ + f->size_ > memoryBound_ && OpenFile()) {
        u8 header[4];
        PutU32(header, f->size_);
        if (WriteAll(file_, header, 4, fileEnd_) && WriteAll(file_, m, size, fileEnd_ + 4)) {
            f->offset_ = fileEnd_;
            fileEnd_ += f->size_;
            fileLive_ += f->size_;
            return f;
        }
        // A full disk keeps the frame in memory rather than lose a reader's upload.
    }
    f->bytes_.resize(f->size_);
    PutU32(f->bytes_.data(), f->size_);
    std::memcpy(f->bytes_.data() + 4, m, size);
    memory_ += f->size_;
    return f;
}

bool BulkStore::Read(const BulkFrame& frame, u32 at, u8* to, u32 n) const
{
    if (frame.Memory()) {
        std::memcpy(to, frame.Memory() + at, n);
        return true;
    }
    u64 from = frame.offset_ + at;
    while (n > 0) {
        const ssize_t r = ::pread(file_, to, n, off_t(from));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        to += r;
        n -= u32(r);
        from += u64(r);
    }
    return true;
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
        if (::ftruncate(file_, 0) == 0) fileEnd_ = 0;
        return;
    }
    // The disk blocks go back now; the offsets of the frames after it stay.
    ::fallocate(file_, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(frame.offset_), off_t(frame.size_));
}
