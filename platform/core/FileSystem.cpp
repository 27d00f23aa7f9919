#include "platform/core/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/core/MessageBox.h"

namespace plat {
namespace {

const std::string& StartDirectory() {
    static const std::string dir = [] {
        std::string d;
        if (char* cwd = ::getcwd(nullptr, 0)) {
            d = cwd;
            std::free(cwd);
        }
        if (d.empty()) d = "/";
        return d;
    }();
    return dir;
}

// Capture the working directory before main() can change anything.
const std::string& g_startDirectoryAtLoad = StartDirectory();

thread_local std::string t_currentDirectory;

const std::string& CurrentDirectory() {
    if (t_currentDirectory.empty()) t_currentDirectory = StartDirectory();
    return t_currentDirectory;
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool EqualsFolded(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (FoldAscii(*a) != FoldAscii(*b)) return false;
    }
    return *a == *b;
}

std::string JoinParts(const std::vector<std::string>& parts) {
    if (parts.empty()) return "/";
    std::string out;
    for (const std::string& p : parts) {
        out += '/';
        out += p;
    }
    return out;
}

void SplitInto(const std::string& path, std::vector<std::string>& parts) {
    size_t i = 0;
    while (i <= path.size()) {
        size_t j = path.find_first_of("/\\", i);
        if (j == std::string::npos) j = path.size();
        std::string comp = path.substr(i, j - i);
        if (comp.empty() || comp == ".") {
            // nothing
        } else if (comp == "..") {
            if (!parts.empty()) parts.pop_back();
        } else {
            parts.push_back(std::move(comp));
        }
        i = j + 1;
    }
}

bool Exists(const std::string& native) {
    struct stat st;
    return ::lstat(native.c_str(), &st) == 0;
}

// The entry of folder whose name equals name ignoring ASCII case; the
// smallest such name when several differ only by case.
bool IsFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A folder named in a path never resolves to a file of another case: the run
// folder holds both the executable "quillon" and the data folder "Quillon".
bool FindFolded(const std::string& folder, const std::string& name, bool foldersOnly, std::string& found) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return false;
    bool any = false;
    while (dirent* e = ::readdir(dir)) {
        if (EqualsFolded(e->d_name, name.c_str())
            && (!foldersOnly || IsFolder((folder == "/" ? "/" : folder + "/") + e->d_name))) {
            if (!any || std::strcmp(e->d_name, found.c_str()) < 0) found = e->d_name;
            any = true;
        }
    }
    ::closedir(dir);
    return any;
}

bool IsAbsolute(const char* path) { return path[0] == '/' || path[0] == '\\'; }

void LockWholeFile(int fd, short type, bool& refused) {
    refused = false;
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    if (::fcntl(fd, F_OFD_SETLK, &lock) == -1) {
        // Only a conflicting holder refuses; a file system without locks
        // just opens without the sharing rule.
        refused = (errno == EAGAIN || errno == EACCES);
    }
}

}  // namespace

namespace {

std::string ResolveWith(const char* path, bool lastIsFolder) {
    if (path == nullptr) return {};
    std::vector<std::string> parts;
    if (!IsAbsolute(path)) SplitInto(CurrentDirectory(), parts);
    SplitInto(path, parts);

    std::string whole = JoinParts(parts);
    if (lastIsFolder ? IsFolder(whole) : Exists(whole)) return whole;

    // Walk component by component, matching case-insensitively where the
    // exact name is missing; the first missing component ends the matching.
    std::vector<std::string> resolved;
    bool matching = true;
    for (size_t i = 0; i < parts.size(); ++i) {
        std::string& comp = parts[i];
        const bool folderWanted = lastIsFolder || i + 1 < parts.size();
        if (matching) {
            const std::string folder = JoinParts(resolved);
            std::string candidate = folder == "/" ? "/" + comp : folder + "/" + comp;
            if (folderWanted ? !IsFolder(candidate) : !Exists(candidate)) {
                std::string found;
                if (FindFolded(folder, comp, folderWanted, found)) {
                    comp = found;
                } else {
                    matching = false;
                }
            }
        }
        resolved.push_back(comp);
    }
    return JoinParts(resolved);
}

}  // namespace

std::string ResolvePath(const char* path) { return ResolveWith(path, false); }

std::string GetCurrentDirectory() { return CurrentDirectory(); }

std::string GetExecutableDirectory() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    // A full buffer may hold a cut path: better no folder than a wrong one.
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return {};
    const std::string exe(buffer, static_cast<size_t>(n));
    const size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? std::string("/") : exe.substr(0, slash);
}

bool SetCurrentDirectory(const char* path) {
    if (path == nullptr) return false;
    std::string native = ResolveWith(path, true);
    struct stat st;
    if (::stat(native.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    t_currentDirectory = std::move(native);
    return true;
}

void InheritCurrentDirectory(const std::string& directory) {
    t_currentDirectory = directory;
}

FileId OpenFile(const char* path, FileMode mode) {
    if (path == nullptr || path[0] == '\0') return InvalidFile;
    const std::string native = ResolvePath(path);
    // Non-blocking only for the open itself: a FIFO put where a file should
    // be would otherwise wait for a writer forever.
    const int flags = mode == FileMode::Read ? (O_RDONLY | O_CLOEXEC | O_NONBLOCK)
                                             : (O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK);
    int fd;
    do {
        fd = ::open(native.c_str(), flags, 0644);
    } while (fd == -1 && errno == EINTR);
    if (fd == -1) return InvalidFile;

    // Only regular files: folders, FIFOs and devices never end or never hold data.
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return InvalidFile;
    }
    bool refused = false;
    LockWholeFile(fd, mode == FileMode::Read ? F_RDLCK : F_WRLCK, refused);
    if (refused) {
        ::close(fd);
        return InvalidFile;
    }
    // Truncate only once the file is ours, so a refused writer destroys nothing.
    if (mode == FileMode::Write && ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return InvalidFile;
    }
    return FileId(fd);
}

i64 ReadFile(FileId file, void* buffer, u64 n) {
    if (file < 0 || (buffer == nullptr && n != 0)) return -1;
    u8* p = static_cast<u8*>(buffer);
    u64 total = 0;
    while (total < n) {
        const size_t chunk = size_t(std::min<u64>(n - total, u64(1) << 30));
        const ssize_t got = ::read(int(file), p + total, chunk);
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (got == 0) break;
        total += u64(got);
    }
    return i64(total);
}

i64 WriteFile(FileId file, const void* buffer, u64 n) {
    if (file < 0 || (buffer == nullptr && n != 0)) return -1;
    const u8* p = static_cast<const u8*>(buffer);
    u64 total = 0;
    while (total < n) {
        const size_t chunk = size_t(std::min<u64>(n - total, u64(1) << 30));
        const ssize_t put = ::write(int(file), p + total, chunk);
        if (put < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        total += u64(put);
    }
    return i64(total);
}

i64 GetFileSize(FileId file) {
    struct stat st;
    if (file < 0 || ::fstat(int(file), &st) != 0) return -1;
    return i64(st.st_size);
}

bool SeekFile(FileId file, u64 offset) {
    if (file < 0 || offset > u64(INT64_MAX)) return false;
    return ::lseek(int(file), off_t(offset), SEEK_SET) != off_t(-1);
}

void CloseFile(FileId file) {
    if (file >= 0) ::close(int(file));
}

FileId OpenScratchFile() {
    const char* folder = std::getenv("TMPDIR");
    for (const char* at : {folder && *folder ? folder : "/tmp", "/tmp"}) {
        std::string path = std::string(at) + "/quillon-scratch-XXXXXX";
        const int fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd >= 0) {
            ::unlink(path.c_str());
            return fd;
        }
    }
    return InvalidFile;
}

bool TruncateFile(FileId file, u64 n) { return file >= 0 && ::ftruncate(int(file), off_t(n)) == 0; }

void DiscardFileRange(FileId file, u64 offset, u64 n) {
    if (file >= 0) ::fallocate(int(file), FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(offset), off_t(n));
}

bool PathExists(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    struct stat st;
    return ::stat(ResolvePath(path).c_str(), &st) == 0;
}

bool IsDirectory(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    struct stat st;
    return ::stat(ResolvePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectory(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    const std::string native = ResolveWith(path, true);
    if (::mkdir(native.c_str(), 0755) == 0) return true;
    struct stat st;
    return errno == EEXIST && ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const char* path) {
    if (path == nullptr || path[0] == '\0') return false;
    return ::unlink(ResolvePath(path).c_str()) == 0;
}

bool RenameFile(const char* from, const char* to) {
    if (from == nullptr || to == nullptr || from[0] == '\0' || to[0] == '\0') return false;
    return ::rename(ResolvePath(from).c_str(), ResolvePath(to).c_str()) == 0;
}

bool WriteFileAtomic(const char* path, const void* data, u64 n) {
    if (path == nullptr || path[0] == '\0' || (data == nullptr && n != 0)) return false;
    const std::string native = ResolvePath(path);
    std::string temp = native + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd == -1) return false;
    bool ok = WriteFile(FileId(fd), data, n) == i64(n);
    ok = ::fsync(fd) == 0 && ok;
    // Keep the permissions an ordinary new file would get.
    ::fchmod(fd, 0644);
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = ::rename(temp.c_str(), native.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

bool ReadWholeFile(const char* path, std::string& out) {
    out.clear();
    const FileId file = OpenFile(path, FileMode::Read);
    if (file == InvalidFile) return false;
    const i64 size = GetFileSize(file);
    bool ok = size >= 0;
    if (ok) {
        out.resize(size_t(size));
        ok = ReadFile(file, out.data(), u64(size)) == size;
    }
    CloseFile(file);
    if (!ok) out.clear();
    return ok;
}

void IgnoreFileSizeLimitSignal() { ::signal(SIGXFSZ, SIG_IGN); }

void ReportLoadFailure(const char* path, const char* reason) {
    static std::mutex lock;
    static std::set<std::string> reported;
    const std::string where = ResolvePath(path != nullptr ? path : "");
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!reported.insert(where).second) return;
    }
    const std::string text = where + ": " + (reason != nullptr ? reason : "cannot be loaded");
    ReportError("load", text.c_str());
}

namespace {

bool MatchPattern(const char* pattern, const char* name, bool foldCase) {
    // Iterative match with one back-track point for the last '*'.
    const char* star = nullptr;
    const char* resume = nullptr;
    const auto same = [foldCase](char a, char b) { return foldCase ? FoldAscii(a) == FoldAscii(b) : a == b; };
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || (*pattern && same(*pattern, *name))) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

}  // namespace

bool MatchWildcard(const char* pattern, const char* name) { return MatchPattern(pattern, name, true); }

bool IsAtomicWriteTemporary(const char* name, const char* targetPattern) {
    // mkostemp's six characters follow the target's name.
    constexpr std::string_view kTemp = ".tmp-";
    const std::string_view n = name != nullptr ? name : "";
    if (targetPattern == nullptr || n.size() < kTemp.size() + 7) return false;
    const size_t cut = n.size() - 6 - kTemp.size();
    if (n.substr(cut, kTemp.size()) != kTemp) return false;
    for (const char c : n.substr(cut + kTemp.size()))
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    return MatchPattern(targetPattern, std::string(n.substr(0, cut)).c_str(), false);
}

bool FileFind::First(const char* pattern, FindEntry& out) {
    Close();
    if (pattern == nullptr || pattern[0] == '\0') return false;
    const std::string whole(pattern);
    const size_t slash = whole.find_last_of("/\\");
    std::string folderPart = slash == std::string::npos ? "." : whole.substr(0, slash + 1);
    pattern_ = slash == std::string::npos ? whole : whole.substr(slash + 1);
    if (pattern_.empty()) return false;
    folder_ = ResolvePath(folderPart.c_str());

    DIR* dir = ::opendir(folder_.c_str());
    if (dir == nullptr) return false;
    while (dirent* e = ::readdir(dir)) {
        if (MatchWildcard(pattern_.c_str(), e->d_name)) names_.emplace_back(e->d_name);
    }
    ::closedir(dir);
    std::sort(names_.begin(), names_.end());
    return Fill(out);
}

bool FileFind::Next(FindEntry& out) { return Fill(out); }

bool FileFind::Fill(FindEntry& out) {
    while (next_ < names_.size()) {
        const std::string& name = names_[next_++];
        struct stat st;
        const std::string native = folder_ == "/" ? "/" + name : folder_ + "/" + name;
        if (::stat(native.c_str(), &st) != 0) continue;  // vanished meanwhile
        out.name = name;
        out.isDirectory = S_ISDIR(st.st_mode);
        out.size = out.isDirectory ? 0 : u64(st.st_size);
        return true;
    }
    return false;
}

void FileFind::Close() {
    folder_.clear();
    pattern_.clear();
    names_.clear();
    next_ = 0;
}

}  // namespace plat
