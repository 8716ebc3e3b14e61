#include "support/Processes.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

bool alive(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
}

QList<int> childrenNamed(qint64 parent, const QString &prefix)
{
    QList<int> found;
    const QString wanted = QString::number(parent);
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + entry + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QString line = QString::fromUtf8(stat.readAll());
        // pid (comm) state ppid ...
        const int close = line.lastIndexOf(')');
        const QString comm = line.mid(line.indexOf('(') + 1, close - line.indexOf('(') - 1);
        const QStringList rest = line.mid(close + 2).split(' ');
        if (comm.startsWith(prefix) && rest.size() > 1 && rest[1] == wanted)
            found << entry.toInt();
    }
    return found;
}

QList<int> officeChildren()
{
    return childrenNamed(getpid(), "soffice");
}

QList<int> officesOf(qint64 pid)
{
    QList<int> found;
    const QByteArray mark = "pipe,name=pagegrab-" + QByteArray::number(pid) + "-";
    for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
        QFile cmdline("/proc/" + entry + "/cmdline");
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(mark))
            found << entry.toInt();
    }
    return found;
}

void OfficeSockets::note()
{
    before_ = QDir("/tmp").entryList({"OSL_PIPE_*"}, QDir::System);
}

void OfficeSockets::removeNew() const
{
    for (const QString &socket : QDir("/tmp").entryList({"OSL_PIPE_*"}, QDir::System))
        if (!before_.contains(socket))
            QFile::remove("/tmp/" + socket);
}
