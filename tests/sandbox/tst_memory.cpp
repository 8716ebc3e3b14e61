#include "sandbox/Memory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

namespace {

constexpr qint64 kMiB = 1024 * 1024;

} // namespace

// What the kernel shows, in a tree of the test's own.
class tst_memory : public QObject {
    Q_OBJECT

    QTemporaryDir tree;

    QByteArray root() const { return QFile::encodeName(tree.path()); }

    void write(const QString &path, const QByteArray &text)
    {
        QVERIFY(QDir().mkpath(QFileInfo(tree.filePath(path)).path()));
        QFile file(tree.filePath(path));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }

    void group(const QString &folder, const QByteArray &max, qint64 current)
    {
        write(folder + "/memory.max", max + "\n");
        write(folder + "/memory.current", QByteArray::number(current) + "\n");
    }

private slots:
    void init()
    {
        QVERIFY(QDir(tree.path()).removeRecursively());
        write("proc/meminfo", "MemTotal: 16000000 kB\nMemAvailable: 8388608 kB\n");
    }

    void theTightestGroupAboveUsDecides()
    {
        // Our group, its name holding ':', under a parent of 1 GiB whose
        // other groups use most of it.
        write("proc/self/cgroup", "0::/service:a/ours\n");
        group("sys/fs/cgroup/service:a/ours", "max", 100 * kMiB);
        group("sys/fs/cgroup/service:a", QByteArray::number(1024 * kMiB), 1000 * kMiB);
        write("sys/fs/cgroup/service:a/ours/memory.events", "low 0\noom 2\noom_kill 3\n");
        QCOMPARE(sandbox::usableMemory(root()), 24 * kMiB);
        QCOMPARE(sandbox::outOfMemoryKills(root()), 3u);

        group("sys/fs/cgroup/service:a/ours", QByteArray::number(150 * kMiB), 140 * kMiB);
        QCOMPARE(sandbox::usableMemory(root()), 10 * kMiB);

        group("sys/fs/cgroup/service:a", "max", 1000 * kMiB);
        group("sys/fs/cgroup/service:a/ours", "max", 0);
        QCOMPARE(sandbox::usableMemory(root()), 8192 * kMiB);

        // A group over its limit leaves nothing, not less than nothing.
        group("sys/fs/cgroup/service:a", QByteArray::number(1024 * kMiB), 1100 * kMiB);
        QCOMPARE(sandbox::usableMemory(root()), 0);
    }

    void theFirstVersionIsReadAlike()
    {
        write("proc/self/cgroup", "5:cpu,cpuacct:/x\n4:memory:/docker/a:b\n0::/\n");
        write("sys/fs/cgroup/memory/memory.limit_in_bytes", "9223372036854771712\n");
        write("sys/fs/cgroup/memory/memory.usage_in_bytes", "4000000000\n");
        write("sys/fs/cgroup/memory/docker/memory.limit_in_bytes", QByteArray::number(2048 * kMiB));
        write("sys/fs/cgroup/memory/docker/memory.usage_in_bytes", QByteArray::number(1536 * kMiB));
        write("sys/fs/cgroup/memory/docker/a:b/memory.limit_in_bytes", QByteArray::number(1024 * kMiB));
        write("sys/fs/cgroup/memory/docker/a:b/memory.usage_in_bytes", QByteArray::number(300 * kMiB));
        QCOMPARE(sandbox::usableMemory(root()), 512 * kMiB);
    }

    void hugeFiguresDoNotOverflow()
    {
        write("proc/meminfo", "MemAvailable: 9223372036854775807 kB\n");
        QCOMPARE(sandbox::usableMemory(root()), std::numeric_limits<qint64>::max());
        write("proc/self/cgroup", "0::/g\n");
        group("sys/fs/cgroup/g", "9223372036854775807", 1);
        QCOMPARE(sandbox::usableMemory(root()), std::numeric_limits<qint64>::max());
        group("sys/fs/cgroup/g", QByteArray::number(64 * kMiB), -5);
        QCOMPARE(sandbox::usableMemory(root()), std::numeric_limits<qint64>::max());
    }
};

QTEST_GUILESS_MAIN(tst_memory)
#include "tst_memory.moc"
