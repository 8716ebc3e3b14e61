#include "sandbox/FileAllowList.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace sandbox {
namespace {

// The kernel's rule-set attribute as later ABIs extend it; Debian 12's
// headers know only the first field. The size passed tells the kernel how
// much of it we mean.
struct RulesetAttr {
    std::uint64_t handledAccessFs;
    std::uint64_t handledAccessNet;
    std::uint64_t scoped;
};

constexpr std::uint64_t kTruncate = 1ULL << 14;         // ABI 3
constexpr std::uint64_t kIoctlDevice = 1ULL << 15;      // ABI 5
constexpr std::uint64_t kBindTcp = 1ULL << 0;           // ABI 4, network
constexpr std::uint64_t kConnectTcp = 1ULL << 1;        // ABI 4, network
constexpr std::uint64_t kScopeAbstractUnix = 1ULL << 0; // ABI 6
constexpr std::uint64_t kScopeSignal = 1ULL << 1;       // ABI 6

constexpr std::uint64_t kRead = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_READ_DIR;
// What a rule on a file (not a folder) may grant.
constexpr std::uint64_t kFileRights = LANDLOCK_ACCESS_FS_EXECUTE | LANDLOCK_ACCESS_FS_WRITE_FILE
                                      | LANDLOCK_ACCESS_FS_READ_FILE | kTruncate | kIoctlDevice;

std::uint64_t handledFileRights(int abi)
{
    std::uint64_t rights = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1;
    if (abi >= 2)
        rights |= LANDLOCK_ACCESS_FS_REFER;
    if (abi >= 3)
        rights |= kTruncate;
    if (abi >= 5)
        rights |= kIoctlDevice;
    return rights;
}

long createRuleset(const RulesetAttr *attr, std::size_t size, std::uint32_t flags)
{
    return syscall(SYS_landlock_create_ruleset, attr, size, flags);
}

} // namespace

int landlockAbi()
{
    const long abi = createRuleset(nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    return abi < 0 ? 0 : int(abi);
}

int FileAllowList::applyInChild(const char *sharedPipeFolder) const
{
    const long abi = createRuleset(nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1)
        return errno;
    RulesetAttr attr{handledFileRights(int(abi)), 0, 0};
    std::size_t size = sizeof attr.handledAccessFs;
    // Later kernels also close TCP and what lies outside the process
    // (abstract sockets such as a desktop's bus or display, signals): the
    // network namespace does the first already, but not where it is refused.
    if (abi >= 4) {
        attr.handledAccessNet = kBindTcp | kConnectTcp;
        size += sizeof attr.handledAccessNet;
    }
    if (abi >= 6) {
        attr.scoped = kScopeAbstractUnix | kScopeSignal;
        size += sizeof attr.scoped;
    }
    const int ruleset = int(createRuleset(&attr, size, 0));
    if (ruleset < 0)
        return errno;

    for (const Rule &rule : rules_) {
        if (rule.kind == Rule::MakeSockets && (!sharedPipeFolder || rule.path != sharedPipeFolder))
            continue;
        const int fd = open(rule.path.constData(), O_PATH | O_CLOEXEC);
        struct stat info {};
        if (fd < 0 || fstat(fd, &info) != 0) {
            if (fd >= 0)
                close(fd);
            continue; // not on this system
        }
        std::uint64_t rights = 0;
        switch (rule.kind) {
        case Rule::Read:
            rights = kRead;
            break;
        case Rule::Write:
            rights = attr.handledAccessFs;
            break;
        case Rule::Device:
            rights = LANDLOCK_ACCESS_FS_READ_FILE | LANDLOCK_ACCESS_FS_WRITE_FILE | kTruncate | kIoctlDevice;
            break;
        // Pipes, where they cannot be kept out of the shared temporary
        // folder: made there, and removed again (by name, which is also all
        // the child could do to the user's own files there).
        case Rule::MakeSockets:
            rights = LANDLOCK_ACCESS_FS_MAKE_SOCK | LANDLOCK_ACCESS_FS_REMOVE_FILE;
            break;
        }
        rights &= attr.handledAccessFs;
        if (!S_ISDIR(info.st_mode))
            rights &= kFileRights;
        landlock_path_beneath_attr beneath{rights, fd};
        const bool added = rights == 0
                           || syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &beneath, 0) == 0;
        const int error = errno;
        close(fd);
        if (!added) {
            close(ruleset);
            return error;
        }
    }
    // Required by the kernel for an unprivileged process, and right anyway:
    // nothing the child starts may gain privileges.
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    const bool restricted = syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    const int error = errno;
    close(ruleset);
    return restricted ? 0 : error;
}

} // namespace sandbox
