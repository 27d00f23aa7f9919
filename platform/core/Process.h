#pragma once
// Short-lived helper programs run under limits: what a stranger sends is
// decoded in one of them, so a fault in a decoding library ends the helper,
// never the game.
#include <sys/types.h>

#include <atomic>
#include <string>
#include <vector>

#include "platform/core/Types.h"

namespace plat {

struct ProcessLimits {
    u64 addressSpace = 256u << 20;  // bytes the child may map
    u64 stack = 8u << 20;           // bytes of stack
    u32 cpuSeconds = 10;            // processor time
    u32 wallMs = 20000;             // real time, enforced here
    u64 outputCap = 1u << 20;       // bytes of output read at most
    // An output that states its own size: a u64 at sizeAt (little-endian)
    // counts the bytes that follow its first sizeEnd bytes. Once those have
    // come, room for the whole (within outputCap) is made at once.
    u32 sizeAt = 0, sizeEnd = 0;
};

enum class ProcessEnd {
    Exited,      // ended on its own; code says how
    Crashed,     // ended by a signal (its own fault or a limit); code is the signal
    TimedOut,    // killed: it outlasted wallMs
    Overran,     // killed: it wrote more than outputCap
    Stopped,     // killed: the caller's stop flag was set
    NotStarted,  // the program could not be started
};

struct ProcessResult {
    ProcessEnd end = ProcessEnd::NotStarted;
    int code = -1;
    std::vector<u8> output;
    pid_t group = 0;  // the process group it ran in (its own number), gone by now
};

// Runs program with args (argv[0] is the program), feeding input to its
// standard input and collecting its standard output; its standard error is
// discarded. The limits are set on the child before it reads a byte; it
// may start no process (unless privileged), and it runs in a process group
// of its own, which is killed whole when the request ends, whatever ended it
// (an answer, a limit, the stop flag, the game's exit): nothing it started
// outlives the request. Any thread; blocks the caller until the child has
// ended.
ProcessResult RunLimitedProcess(const std::string& program, const std::vector<std::string>& args,
                                const std::vector<u8>& input, const ProcessLimits& limits,
                                const std::atomic<bool>* stop = nullptr);

// Path of a helper program shipped beside the running executable (or, for
// programs outside the run folder, in the folder named by QUILLON_RUN_DIR);
// empty when there is none.
std::string HelperProgramPath(const char* name);

}  // namespace plat
