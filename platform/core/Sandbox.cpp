#include "platform/core/Sandbox.h"

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>

#include <cstddef>
#include <vector>

namespace plat {
namespace {

#if defined(__x86_64__)
constexpr unsigned kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned kArch = AUDIT_ARCH_AARCH64;
#else
constexpr unsigned kArch = 0;  // no walls known for this processor: refuse
#endif

// What decoding needs once the request is in: the pipes, memory (the C
// library's allocator, and its sort, which asks how much memory the machine
// has), and the way out.
constexpr long kAllowed[] = {
    SYS_read,        SYS_write,  SYS_readv,  SYS_writev,       SYS_exit,   SYS_exit_group,
    SYS_brk,         SYS_mmap,   SYS_munmap, SYS_mremap,       SYS_madvise, SYS_mprotect,
    SYS_futex,       SYS_rt_sigreturn, SYS_rt_sigprocmask, SYS_sysinfo, SYS_getrandom,
    SYS_clock_gettime,
};

}  // namespace

bool EnterDecodeSandbox()
{
    if (kArch == 0) return false;
    // No process of its own, whatever user it runs as (the filter below is
    // what holds a privileged one).
    const struct rlimit none = {0, 0};
    setrlimit(RLIMIT_NPROC, &none);
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;

    std::vector<sock_filter> program;
    auto add = [&program](unsigned short code, unsigned k, unsigned char jt = 0, unsigned char jf = 0) {
        program.push_back(sock_filter{code, jt, jf, k});
    };
    // Another processor's calling convention would read other numbers.
    add(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch));
    add(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0);
    add(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS);
    add(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr));
#if defined(__x86_64__)
    // The x32 numbers alias the same calls: none of them.
    add(BPF_JMP | BPF_JGE | BPF_K, 0x40000000u, 0, 1);
    add(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS);
#endif
    const unsigned count = sizeof kAllowed / sizeof kAllowed[0];
    for (unsigned i = 0; i < count; ++i)
        add(BPF_JMP | BPF_JEQ | BPF_K, unsigned(kAllowed[i]), (unsigned char)(count - i), 0);
    add(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS);
    add(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
    const sock_fprog fprog = {(unsigned short)program.size(), program.data()};
    return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &fprog, 0, 0) == 0;
}

}  // namespace plat
