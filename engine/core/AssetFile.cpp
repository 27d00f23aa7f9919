#include "engine/core/AssetFile.h"

#include <cstdlib>
#include <cstring>

void XorWords(void* buffer, u32 n, u32 key) {
    if (buffer == nullptr || n <= 4) return;
    u8* p = static_cast<u8*>(buffer);
    const u8 k[4] = {u8(key), u8(key >> 8), u8(key >> 16), u8(key >> 24)};
    // Byte-wise so it is endian-neutral and needs no alignment.
    for (u32 o = 0; o < n - 4; o += 4) {
        p[o] ^= k[0];
        p[o + 1] ^= k[1];
        p[o + 2] ^= k[2];
        p[o + 3] ^= k[3];
    }
}

FileHandle::~FileHandle() { Close(); }

int FileHandle::OpenRead(const char* path) {
    Close();
    position = 0;
    handle = plat::OpenFile(path, plat::FileMode::Read);
    return handle != plat::InvalidFile ? 1 : 0;
}

int FileHandle::OpenWrite(const char* path) {
    Close();
    position = 0;
    handle = plat::OpenFile(path, plat::FileMode::Write);
    return handle != plat::InvalidFile ? 1 : 0;
}

u32 FileHandle::Read(void* buffer, u32 n) {
    const i64 got = plat::ReadFile(handle, buffer, n);
    if (got > 0) position += u64(got);
    return got < 0 ? FileIoError : u32(got);
}

u32 FileHandle::Write(const void* buffer, u32 n) {
    const i64 put = plat::WriteFile(handle, buffer, n);
    if (put > 0) position += u64(put);
    return put < 0 ? FileIoError : u32(put);
}

u32 FileHandle::Size() const {
    const i64 size = plat::GetFileSize(handle);
    return (size < 0 || size >= i64(FileIoError)) ? FileIoError : u32(size);
}

void FileHandle::Close() {
    if (handle != plat::InvalidFile) {
        plat::CloseFile(handle);
        handle = plat::InvalidFile;
    }
}

FileBuffer::~FileBuffer() { Clear(); }

void FileBuffer::Clear() {
    std::free(data);
    data = nullptr;
    cursor = nullptr;
    size = 0;
}

int FileBuffer::Load(const char* path) {
    Clear();
    FileHandle file;
    // A missing file may be one a caller only looks for; the loaders that
    // need it say so. A file that opens but cannot be read whole is named here.
    if (!file.OpenRead(path)) return 0;
    const u32 n = file.Size();
    if (n == FileIoError) {
        plat::ReportLoadFailure(path, "is too large or cannot be measured");
        return 0;
    }
    if (n != 0) {
        u8* bytes = static_cast<u8*>(std::malloc(n));
        if (bytes == nullptr) {
            plat::ReportLoadFailure(path, "does not fit in memory");
            return 0;
        }
        // A short or failed read must not pass for a whole file: parsers
        // would walk bytes that were never read.
        if (file.Read(bytes, n) != n) {
            std::free(bytes);
            plat::ReportLoadFailure(path, "cannot be read whole");
            return 0;
        }
        data = bytes;
        size = n;
    }
    cursor = data;
    return 1;
}

void FileBuffer::XorWords(u32 key) { ::XorWords(data, size, key); }
