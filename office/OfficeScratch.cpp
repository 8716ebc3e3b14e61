#include "office/OfficeScratch.h"

#include "office/Application.h"
#include "sandbox/Failure.h"
#include "sandbox/ScratchFolder.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace office {
namespace {

// An office that was killed where it could not have a temporary folder of
// its own left its pipe's socket in /tmp, named after its process (see
// OfficeInstance).
void removeSocketsOf(long pid)
{
    const QString pattern = QStringLiteral("OSL_PIPE_%1_pagegrab-%2-*").arg(getuid()).arg(pid);
    const int tmp = open("/tmp", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (tmp < 0)
        return;
    for (const QString &socket : QDir("/tmp").entryList({pattern}, QDir::System)) {
        const QByteArray name = QFile::encodeName(socket);
        struct stat info {};
        if (fstatat(tmp, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISSOCK(info.st_mode)
            && info.st_uid == geteuid())
            unlinkat(tmp, name.constData(), 0);
    }
    close(tmp);
}

} // namespace

QString scratchFolder()
{
    try {
        return sandbox::scratchFolder(removeSocketsOf);
    } catch (const sandbox::Failure &f) {
        throw Failure(f.what());
    }
}

} // namespace office
