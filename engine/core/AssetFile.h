#pragma once
// File wrappers used by every loader, and the word-wise XOR that scrambles
// most asset files and the save files.
//
// Scrambled layout of an n-byte file: every little-endian u32 at offset
// o = 0, 4, 8, ... with o < n - 4 is XORed with the key; the rest (the last
// 4 bytes when n is a multiple of 4, else the last n mod 4) is plain. Files
// of 4 bytes or fewer are plain. The operation is its own inverse.
#include "platform/core/FileSystem.h"
#include "platform/core/Types.h"

// Key of the shipped asset files (meshes, textures, text scripts).
inline constexpr u32 AssetKey = 0x5A3C96E1u;
// Key of the title, battle-item and hangar meshes; same layout as AssetKey.
inline constexpr u32 MeshKey = 0xC3A5197Bu;

// Result of FileHandle::Read/Write when the operation fails.
inline constexpr u32 FileIoError = 0xFFFFFFFFu;

// Scrambles or unscrambles n bytes in place by the layout above.
void XorWords(void* buffer, u32 n, u32 key);

// Owner of one open file. Not copyable; closes on destruction.
class FileHandle {
public:
    FileHandle() = default;
    ~FileHandle();
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // Opens an existing file for reading; other readers may share it, a
    // writer holding it without read sharing makes this fail. 1 / 0.
    int OpenRead(const char* path);
    // Creates or truncates a file for writing, shared with nobody. 1 / 0.
    int OpenWrite(const char* path);
    // Bytes read (0 at end of file), or FileIoError.
    u32 Read(void* buffer, u32 n);
    // Bytes written, or FileIoError.
    u32 Write(const void* buffer, u32 n);
    // Size of the open file in bytes; FileIoError when not open or too big.
    u32 Size() const;
    // Bytes read or written since the open: readers check the counts a file
    // declares against what is left of it before they allocate.
    u64 Position() const { return position; }
    void Close();
    bool IsOpen() const { return handle != plat::InvalidFile; }

    plat::FileId handle = plat::InvalidFile;
    u64 position = 0;
};

// A whole file read into memory; parsers walk it with cursor.
class FileBuffer {
public:
    FileBuffer() = default;
    ~FileBuffer();
    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;

    // Reads the whole file. 1 on success (an empty file gives data null and
    // size 0); 0 when it cannot be opened or read whole, leaving the buffer
    // empty (data null, size 0).
    int Load(const char* path);
    // Unscrambles (or scrambles) data in place with key.
    void XorWords(u32 key);
    // Frees the data.
    void Clear();

    u8* data = nullptr;
    u8* cursor = nullptr;
    u32 size = 0;
};
