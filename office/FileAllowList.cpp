#include "office/FileAllowList.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <linux/landlock.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace office {
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

// What the office reads besides its own folder. Folders are given whole
// only where they hold nothing but what their name says (fonts, the office's
// files, libraries); of /etc, /proc and the home folder only the entries
// the office and its libraries look at.
QStringList readablePaths()
{
    QStringList paths{
        QStringLiteral(LIBREOFFICE_PROGRAM_DIR "/.."),
        "/usr/lib",
        "/usr/lib64",
        "/lib",
        "/lib64",
        "/usr/local/lib",
        "/usr/share/libreoffice",
        "/usr/share/fonts",
        "/usr/local/share/fonts",
        "/usr/share/fontconfig",
        "/usr/share/locale",
        "/usr/share/zoneinfo",
        "/usr/share/liblangtag",
        "/usr/share/hyphen",
        "/usr/share/hunspell",
        "/usr/share/mythes",
        "/etc/fonts",
        "/etc/libreoffice",
        "/etc/ld.so.cache",
        "/etc/passwd",
        "/etc/group",
        "/etc/nsswitch.conf",
        "/etc/localtime",
        "/etc/locale.alias",
        "/etc/papersize",
        // The office's shared extension cache and fontconfig's caches: without
        // them it aborts, or every font is scanned again at each start.
        "/var/spool/libreoffice",
        "/var/lib/libreoffice",
        "/var/cache/fontconfig",
        // Its own process entries (the rule is taken in the child, so "self" is
        // the office), and what the system says of memory and processors.
        "/proc/self",
        "/proc/filesystems",
        "/proc/meminfo",
        "/proc/cpuinfo",
        "/proc/stat",
        "/sys/devices/system/cpu",
        "/dev/urandom",
        "/dev/random",
    };
    const QString home = QDir::homePath();
    const auto xdg = [&](const char *variable, const QString &fallback) {
        return qEnvironmentVariable(variable, home + fallback);
    };
    paths << home + "/.fonts" << xdg("XDG_DATA_HOME", "/.local/share") + "/fonts"
          << xdg("XDG_CACHE_HOME", "/.cache") + "/fontconfig" << xdg("XDG_CONFIG_HOME", "/.config") + "/fontconfig";
    return paths;
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

FileAllowList::FileAllowList(const QString &ownFolder)
{
    for (const QString &path : readablePaths())
        rules_.push_back({QFile::encodeName(path), Rule::Read});
    rules_.push_back({"/dev/null", Rule::Device});
    rules_.push_back({"/dev/zero", Rule::Device});
    rules_.push_back({QFile::encodeName(ownFolder), Rule::Write});
    rules_.push_back({"/tmp", Rule::MakeSockets});
    rules_.push_back({"/var/tmp", Rule::MakeSockets});
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
        // The office's pipes, where it cannot be kept out of the shared
        // temporary folder: made there, and removed again (by name, which is
        // also all a document could do to the user's own files there).
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
    // nothing the office starts may gain privileges.
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    const bool restricted = syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    const int error = errno;
    close(ruleset);
    return restricted ? 0 : error;
}

} // namespace office
