// refuse namespaces|landlock PROGRAM [ARGUMENT...]
//
// Runs a program on a system that refuses what the offices' confinement
// asks for, as some distributions and older kernels do: new namespaces
// (unshare fails with EPERM) or Landlock (the kernel has none: ENOSYS). The
// refusal holds for everything the program starts.

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#if defined(__x86_64__)
constexpr unsigned kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned kArch = AUDIT_ARCH_AARCH64;
#endif

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: refuse namespaces|landlock PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    const bool namespaces = std::strcmp(argv[1], "namespaces") == 0;
    const unsigned call = namespaces ? SYS_unshare : SYS_landlock_create_ruleset;
    const unsigned error = namespaces ? EPERM : ENOSYS;
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, call, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | error),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{sizeof filter / sizeof filter[0], filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
        std::perror("refuse");
        return 2;
    }
    execv(argv[2], argv + 2);
    std::perror("refuse");
    return 127;
}
