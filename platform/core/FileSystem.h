#pragma once
// Files and folders. The only place the program opens files.
//
// Paths use '\' or '/' alike. Each component is matched exactly first, then
// case-insensitively against the folder's entries, so "Failed.png" finds
// "failed.png" on disk. Relative paths are taken from the calling thread's
// current directory (see SetCurrentDirectory); the process's own working
// directory is never changed after start-up.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/Types.h"

namespace plat {

using FileId = std::intptr_t;
inline constexpr FileId InvalidFile = -1;

enum class FileMode {
    // Existing file, read only. Other readers may share it; fails while a
    // writer (FileMode::Write) holds it.
    Read,
    // Created or truncated, write only, shared with nobody: fails while any
    // other handle of this program holds it.
    Write,
};

// Opens a file; InvalidFile on failure.
FileId OpenFile(const char* path, FileMode mode);
// Bytes read (0 at end of file), -1 on failure. Reads until n bytes or the end.
i64 ReadFile(FileId file, void* buffer, u64 n);
// Bytes written, -1 on failure. Writes all n bytes unless an error occurs.
i64 WriteFile(FileId file, const void* buffer, u64 n);
// Size in bytes of an open file, -1 on failure.
i64 GetFileSize(FileId file);
// Moves the read/write position to an absolute offset. false on failure.
bool SeekFile(FileId file, u64 offset);
void CloseFile(FileId file);
// A read-write file in the temporary folder (TMPDIR, else /tmp) that only
// its holder can reach: unlinked as soon as it is made, so nothing is left
// behind however the program ends. InvalidFile when none can be made.
FileId OpenScratchFile();
// Cuts an open file to n bytes. false on failure.
bool TruncateFile(FileId file, u64 n);
// Gives the disk blocks of n bytes from offset back; the file keeps its
// length, and reads there give zeros.
void DiscardFileRange(FileId file, u64 offset, u64 n);

// Whether a file or folder exists at path.
bool PathExists(const char* path);
bool IsDirectory(const char* path);
// Creates one folder; true when it exists as a folder afterwards (an
// existing folder is no error).
bool CreateDirectory(const char* path);
bool DeleteFile(const char* path);
// Renames a file, replacing the destination if it exists (atomic on one
// file system). The destination's folder must exist.
bool RenameFile(const char* from, const char* to);
// Writes a whole file through a temporary file in the same folder renamed
// over the target, so readers never see it half written.
bool WriteFileAtomic(const char* path, const void* data, u64 n);
// Whether name is a temporary file WriteFileAtomic makes for a target whose
// name matches targetPattern: the target, ".tmp-" and six letters or digits,
// case and all (a wildcard in the pattern matches exactly too).
bool IsAtomicWriteTemporary(const char* name, const char* targetPattern);
// Reads a whole file. false when it cannot be opened or read.
bool ReadWholeFile(const char* path, std::string& out);

// Tells the player on stderr that a file the game needed could not be
// loaded, and why; each file is named once per run however often it fails.
// Any thread.
void ReportLoadFailure(const char* path, const char* reason);

// Makes a write past the system's file-size limit fail with an error the
// writer sees, instead of ending the process. Called once at start-up.
void IgnoreFileSizeLimitSignal();

// The absolute native path a path refers to, resolved as described at the top.
// Components that do not exist are kept as written (so new files can be
// created). For libraries that need a path of their own (e.g. decoders).
std::string ResolvePath(const char* path);

// The calling thread's current directory (absolute, '/'-separated). A new
// thread started through plat::Thread starts with its starter's directory;
// any other thread starts with the process's working directory at start-up.
std::string GetCurrentDirectory();
// The folder the running executable lives in (absolute, '/'-separated,
// symbolic links resolved); empty when the system cannot say.
std::string GetExecutableDirectory();
// Sets the calling thread's current directory; false (unchanged) when path
// is not an existing folder.
bool SetCurrentDirectory(const char* path);
// Sets the calling thread's current directory without checking it; used by
// plat::Thread to hand a new thread its starter's directory.
void InheritCurrentDirectory(const std::string& directory);

// One entry of a folder listing.
struct FindEntry {
    std::string name;      // file name only
    bool isDirectory = false;
    u64 size = 0;
};

// Walks the entries of one folder that match a wildcard pattern
// ("pilot\*", "*.psd"; '*' any run, '?' one byte, case-insensitive). As on
// Windows, "*" also yields "." and "..". Order is by name.
class FileFind {
public:
    FileFind() = default;
    ~FileFind() = default;
    FileFind(const FileFind&) = delete;
    FileFind& operator=(const FileFind&) = delete;

    // Starts the walk and gives the first match; false when the folder cannot
    // be read or nothing matches.
    bool First(const char* pattern, FindEntry& out);
    // The next match; false at the end.
    bool Next(FindEntry& out);
    void Close();

private:
    std::string folder_;
    std::string pattern_;
    std::vector<std::string> names_;
    size_t next_ = 0;
    bool Fill(FindEntry& out);
};

// Whether a name matches a wildcard pattern ('*', '?', ASCII case folded).
bool MatchWildcard(const char* pattern, const char* name);

}  // namespace plat
