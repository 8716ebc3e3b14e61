#include "office/ScratchFolder.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace office {
namespace {

const char kLockName[] = ".owner";

// Held until the process ends, however it ends: the kernel drops the lock.
bool lockOwnership(const QString &folder, int &fd)
{
    fd = open(QFile::encodeName(folder + "/" + kLockName).constData(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
}

void removeLeftoversOfDeadOwners(const QString &own)
{
    static const QRegularExpression session(QStringLiteral("^pagegrab-(\\d+)-\\w+$"));
    const QDir temp(QDir::tempPath());
    for (const QString &name : temp.entryList({"pagegrab-*"}, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const auto match = session.match(name);
        const QString folder = temp.filePath(name);
        if (!match.hasMatch() || folder == own || !QFile::exists(folder + "/" + kLockName))
            continue;
        int fd = -1;
        const bool ownerGone = lockOwnership(folder, fd);
        if (ownerGone) {
            QDir(folder).removeRecursively();
            // An office that was killed could not remove its pipe's socket.
            const QString pipes = QStringLiteral("OSL_PIPE_%1_pagegrab-%2-*").arg(getuid()).arg(match.captured(1));
            for (const QString &socket : QDir("/tmp").entryList({pipes}, QDir::System))
                QFile::remove("/tmp/" + socket);
        }
        if (fd >= 0)
            close(fd);
    }
}

class Scratch {
public:
    Scratch() : dir_(QDir::tempPath() + QStringLiteral("/pagegrab-%1-XXXXXX").arg(getpid()))
    {
        if (!dir_.isValid() || !lockOwnership(dir_.path(), lockFd_))
            return;
        removeLeftoversOfDeadOwners(dir_.path());
    }
    ~Scratch()
    {
        if (lockFd_ >= 0)
            close(lockFd_);
    }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
    int lockFd_ = -1;
};

} // namespace

QString scratchFolder()
{
    static const Scratch scratch;
    return scratch.path();
}

} // namespace office
