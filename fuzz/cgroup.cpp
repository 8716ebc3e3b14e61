// What the kernel says of memory, in a tree of our own: the input is the
// files' texts, separated by 0 bytes, in the order of `files`.

#include "sandbox/Memory.h"

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const files[] = {
    "proc/self/cgroup",
    "proc/meminfo",
    "sys/fs/cgroup/a/b/memory.max",
    "sys/fs/cgroup/a/b/memory.current",
    "sys/fs/cgroup/a/b/memory.events",
    "sys/fs/cgroup/a/memory.max",
    "sys/fs/cgroup/a/memory.current",
    "sys/fs/cgroup/memory/a/b/memory.limit_in_bytes",
    "sys/fs/cgroup/memory/a/b/memory.usage_in_bytes",
    "sys/fs/cgroup/memory/a/memory.limit_in_bytes",
    "sys/fs/cgroup/memory/a/memory.usage_in_bytes",
    "sys/fs/cgroup/memory/a/b/memory.oom_control",
};

QByteArray makeTree()
{
    QByteArray pattern = "/tmp/pagegrab-fuzz-XXXXXX";
    const QByteArray root(mkdtemp(pattern.data()));
    for (const char *folder :
         {"/proc", "/proc/self", "/sys", "/sys/fs", "/sys/fs/cgroup", "/sys/fs/cgroup/a", "/sys/fs/cgroup/a/b",
          "/sys/fs/cgroup/memory", "/sys/fs/cgroup/memory/a", "/sys/fs/cgroup/memory/a/b"})
        mkdir((root + folder).constData(), 0700);
    return root;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const QByteArray root = makeTree();
    const QList<QByteArray> texts = QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).split('\0');
    for (qsizetype i = 0; i < qsizetype(std::size(files)); ++i) {
        const int fd = open((root + "/" + files[i]).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const QByteArray text = texts.value(i);
        if (fd < 0 || write(fd, text.constData(), text.size()) != text.size())
            std::abort();
        close(fd);
    }
    const std::int64_t usable = sandbox::usableMemory(root);
    (void)sandbox::outOfMemoryKills(root);
    if (usable < -1)
        __builtin_trap();
    return 0;
}
