#include "sandbox/Memory.h"

#include <QList>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <unistd.h>

namespace sandbox {
namespace {

constexpr std::int64_t kMiB = 1024 * 1024;

// The kernel's small text files, read whole; a file that runs on past
// 64 KiB is not one of them.
QByteArray readAll(const QByteArray &path)
{
    const int fd = open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return {};
    QByteArray text(64 * 1024, Qt::Uninitialized);
    qsizetype size = 0;
    for (ssize_t got = 0; size < text.size(); size += got) {
        got = read(fd, text.data() + size, text.size() - size);
        if (got < 0 && errno == EINTR)
            got = 0;
        else if (got <= 0)
            break;
    }
    close(fd);
    text.truncate(size);
    return text;
}

// A count of bytes as the kernel writes it, or nothing ("max", garbage).
std::optional<std::int64_t> count(const QByteArray &text)
{
    bool number = false;
    const qint64 value = text.trimmed().toLongLong(&number);
    return number && value >= 0 ? std::optional(value) : std::nullopt;
}

// The count after `key` on its line of a "key value" file.
std::optional<std::int64_t> field(const QByteArray &text, const QByteArray &key)
{
    for (const QByteArray &line : text.split('\n'))
        if (line.startsWith(key))
            return count(line.mid(key.size()).trimmed().split(' ').value(0));
    return std::nullopt;
}

struct MemoryGroup {
    QByteArray folder;
    QByteArray top;
    bool unified = false;
};

// Our control group's folder for the memory controller: the unified
// hierarchy's, or the first version's where that is what is mounted.
std::optional<MemoryGroup> memoryGroup(const QByteArray &root)
{
    for (const QByteArray &line : readAll(root + "/proc/self/cgroup").split('\n')) {
        // "id:controllers:path", where the path may hold ':' itself.
        const qsizetype first = line.indexOf(':');
        const qsizetype second = first < 0 ? -1 : line.indexOf(':', first + 1);
        QByteArray path = line.mid(second + 1);
        if (second < 0 || !path.startsWith('/') || path.split('/').contains(".."))
            continue;
        while (path.endsWith('/'))
            path.chop(1);
        if (line.mid(first + 1, second - first - 1).split(',').contains("memory")) {
            const QByteArray top = root + "/sys/fs/cgroup/memory";
            return MemoryGroup{top + path, top, false};
        }
        const QByteArray top = root + "/sys/fs/cgroup";
        if (line.left(first) == "0" && access((top + path + "/memory.max").constData(), F_OK) == 0)
            return MemoryGroup{top + path, top, true};
    }
    return std::nullopt;
}

// The least, over our group and each group above it, of what that group's
// limit leaves beside that group's own use; -1 where no group sets one.
std::int64_t groupRoom(const QByteArray &root)
{
    const auto group = memoryGroup(root);
    if (!group)
        return -1;
    const QByteArray used = group->unified ? "/memory.current" : "/memory.usage_in_bytes";
    const QByteArray limit = group->unified ? "/memory.max" : "/memory.limit_in_bytes";
    std::int64_t room = -1;
    for (QByteArray folder = group->folder;; folder.truncate(folder.lastIndexOf('/'))) {
        const auto max = count(readAll(folder + limit));
        const auto usage = count(readAll(folder + used));
        // The first version writes "no limit" as a number near 2^63.
        if (max && usage && *max < (std::int64_t(1) << 60)) {
            const std::int64_t left = std::max<std::int64_t>(*max - *usage, 0);
            room = room < 0 ? left : std::min(room, left);
        }
        if (folder.size() <= group->top.size())
            break;
    }
    return room;
}

} // namespace

std::int64_t usableMemory(const QByteArray &root)
{
    const auto available = field(readAll(root + "/proc/meminfo"), "MemAvailable:");
    const std::int64_t system = !available ? -1
                                : *available > std::numeric_limits<std::int64_t>::max() / 1024
                                    ? std::numeric_limits<std::int64_t>::max()
                                    : *available * 1024;
    const std::int64_t group = groupRoom(root);
    if (system < 0 || group < 0)
        return std::max(system, group);
    return std::min(system, group);
}

std::uint64_t outOfMemoryKills(const QByteArray &root)
{
    const auto group = memoryGroup(root);
    if (!group)
        return 0;
    const auto kills = field(readAll(group->folder + (group->unified ? "/memory.events" : "/memory.oom_control")),
                             "oom_kill ");
    return kills ? std::uint64_t(*kills) : 0;
}

std::string megabytes(std::int64_t bytes)
{
    return std::to_string(bytes / kMiB) + " MB";
}

std::int64_t residentMemory(int pid)
{
    const QList<QByteArray> pages = readAll("/proc/" + QByteArray::number(pid) + "/statm").split(' ');
    const auto resident = count(pages.value(1));
    std::int64_t bytes = 0;
    if (!resident || __builtin_mul_overflow(*resident, std::int64_t(sysconf(_SC_PAGESIZE)), &bytes))
        return -1;
    return bytes;
}

} // namespace sandbox
