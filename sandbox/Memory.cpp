#include "sandbox/Memory.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>
#include <unistd.h>

namespace sandbox {
namespace {

constexpr std::int64_t kMiB = 1024 * 1024;

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The value after `key` on its line of a "key value" file, or -1.
std::int64_t field(const QByteArray &text, const QByteArray &key)
{
    for (const QByteArray &line : text.split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Our control group's folder for the memory controller: the unified
// hierarchy's, or the first version's where that is what is mounted.
QString memoryGroup(bool &unified)
{
    for (const QByteArray &line : readAll("/proc/self/cgroup").split('\n')) {
        const QList<QByteArray> parts = line.split(':');
        if (parts.size() < 3)
            continue;
        const QString path = QString::fromUtf8(parts[2]);
        if (parts[1].split(',').contains("memory")) {
            unified = false;
            return "/sys/fs/cgroup/memory" + path;
        }
        if (parts[0] == "0" && QFile::exists("/sys/fs/cgroup" + path + "/memory.max")) {
            unified = true;
            return "/sys/fs/cgroup" + path;
        }
    }
    return {};
}

// What the control group (and the groups above it) leave, or -1.
std::int64_t groupRoom()
{
    bool unified = false;
    QString group = memoryGroup(unified);
    if (group.isEmpty())
        return -1;
    const QString used = unified ? "/memory.current" : "/memory.usage_in_bytes";
    const QString limit = unified ? "/memory.max" : "/memory.limit_in_bytes";
    const std::int64_t usage = readAll(group + used).trimmed().toLongLong();
    std::int64_t room = -1;
    const QString top = unified ? "/sys/fs/cgroup" : "/sys/fs/cgroup/memory";
    for (; group.size() >= top.size(); group = group.left(group.lastIndexOf('/'))) {
        bool number = false;
        const std::int64_t max = readAll(group + limit).trimmed().toLongLong(&number);
        if (number && max < (std::int64_t(1) << 60))
            room = room < 0 ? max - usage : std::min(room, max - usage);
        if (group == top)
            break;
    }
    return room < 0 ? -1 : std::max<std::int64_t>(room, 0);
}

} // namespace

std::int64_t usableMemory()
{
    const std::int64_t available = field(readAll("/proc/meminfo"), "MemAvailable:");
    const std::int64_t system = available < 0 ? -1 : available * 1024;
    const std::int64_t group = groupRoom();
    if (system < 0 || group < 0)
        return std::max(system, group);
    return std::min(system, group);
}

std::uint64_t outOfMemoryKills()
{
    bool unified = false;
    const QString group = memoryGroup(unified);
    if (group.isEmpty())
        return 0;
    const std::int64_t kills = field(readAll(group + (unified ? "/memory.events" : "/memory.oom_control")),
                                     "oom_kill ");
    return kills < 0 ? 0 : std::uint64_t(kills);
}

std::string megabytes(std::int64_t bytes)
{
    return std::to_string(bytes / kMiB) + " MB";
}

std::int64_t residentMemory(int pid)
{
    const QList<QByteArray> pages = readAll(QStringLiteral("/proc/%1/statm").arg(pid)).split(' ');
    if (pages.size() < 2)
        return -1;
    return pages[1].toLongLong() * sysconf(_SC_PAGESIZE);
}

} // namespace sandbox
