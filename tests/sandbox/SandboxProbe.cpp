// Puts up the decoder's walls, then does what its argument names: "work"
// does what decoding does (reads its input, takes and gives back memory,
// writes an answer) and ends with 0; "open", "fork", "exec" and "socket"
// try what the walls forbid and, should they get through, end with 3.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/core/Sandbox.h"

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    if (!plat::EnterDecodeSandbox()) return 1;
    const char* what = argv[1];
    if (std::strcmp(what, "work") == 0) {
        std::vector<char> in;
        char buffer[4096];
        for (ssize_t n; (n = read(0, buffer, sizeof buffer)) > 0;) in.insert(in.end(), buffer, buffer + n);
        // Small and large blocks, grown in place and moved, then freed.
        std::vector<std::vector<char>> blocks;
        for (size_t size = 16; size <= (64u << 20); size *= 4) blocks.emplace_back(size, char(size));
        void* grown = std::malloc(1u << 20);
        grown = std::realloc(grown, 48u << 20);
        if (grown == nullptr) return 4;
        std::memset(grown, 1, 48u << 20);
        std::free(grown);
        blocks.clear();
        const char answer[] = "ok";
        return write(1, answer, 2) == 2 && in.size() > 0 ? 0 : 5;
    }
    if (std::strcmp(what, "open") == 0 && open("/proc/self/status", O_RDONLY) >= 0) return 3;
    if (std::strcmp(what, "fork") == 0) {
        const pid_t child = fork();
        if (child == 0) _exit(0);
        if (child > 0) return 3;
    }
    if (std::strcmp(what, "exec") == 0) {
        char* const args[] = {const_cast<char*>("/bin/true"), nullptr};
        execv("/bin/true", args);
    }
    if (std::strcmp(what, "socket") == 0 && socket(AF_INET, SOCK_STREAM, 0) >= 0) return 3;
    return 6;
}
