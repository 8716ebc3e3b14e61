#include "office/Confinement.h"

#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace office {
namespace {

const char *const kHiddenRoots[] = {"/home", "/root", "/media", "/mnt", "/srv", "/run/media", "/run/user", "/var/tmp"};

bool isUnder(const QString &path, const QString &root)
{
    return path == root || path.startsWith(root + "/");
}

// Writes a short text to a file; in the child, so no library calls.
bool writeText(const char *path, const QByteArray &text)
{
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool done = write(fd, text.constData(), text.size()) == text.size();
    close(fd);
    return done;
}

// "/proc/self/fd/N" without allocating.
void fdPath(char (&buffer)[32], int fd)
{
    const char prefix[] = "/proc/self/fd/";
    int at = 0;
    for (const char *p = prefix; *p; ++p)
        buffer[at++] = *p;
    char digits[12];
    int count = 0;
    do {
        digits[count++] = char('0' + fd % 10);
        fd /= 10;
    } while (fd > 0);
    while (count > 0)
        buffer[at++] = digits[--count];
    buffer[at] = '\0';
}

} // namespace

Confinement::Confinement()
{
    QStringList roots;
    for (const char *root : kHiddenRoots)
        roots << QString::fromLatin1(root);
    const QString home = QDir::homePath();
    if (home != "/" && std::none_of(roots.begin(), roots.end(), [&](const QString &r) { return isUnder(home, r); }))
        roots << home;
    for (const QString &root : roots)
        if (QFileInfo(root).isDir())
            hidden_.push_back(QFile::encodeName(root));

    const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME", home + "/.local/share");
    for (const QString &keep : {QDir::tempPath(), home + "/.fonts", dataHome + "/fonts", home + "/.cache/fontconfig"}) {
        const QString path = QFileInfo(keep).canonicalFilePath();
        if (path.isEmpty() || std::none_of(roots.begin(), roots.end(), [&](const QString &r) { return isUnder(path, r); }))
            continue;
        Kept kept{QFile::encodeName(path), {}};
        for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1))
            kept.parents.push_back(QFile::encodeName(path.left(slash)));
        kept_.push_back(std::move(kept));
    }

    uidMap_ = QByteArray::number(getuid()) + " " + QByteArray::number(getuid()) + " 1";
    gidMap_ = QByteArray::number(getgid()) + " " + QByteArray::number(getgid()) + " 1";
}

void Confinement::applyInChild() const
{
    // As root the namespaces come directly; otherwise inside a user
    // namespace of our own, in which we keep our own user and group ids.
    if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNET | CLONE_NEWNS) != 0)
            return;
        writeText("/proc/self/setgroups", "deny");
        writeText("/proc/self/uid_map", uidMap_);
        writeText("/proc/self/gid_map", gidMap_);
    }
    // Without this, an empty folder mounted here could show outside too.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return;

    constexpr std::size_t kMostKept = 8;
    int keptFds[kMostKept];
    const std::size_t keptCount = std::min(kept_.size(), kMostKept);
    for (std::size_t i = 0; i < keptCount; ++i)
        keptFds[i] = open(kept_[i].path.constData(), O_PATH | O_CLOEXEC);

    for (const QByteArray &folder : hidden_)
        mount("tmpfs", folder.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=1m,mode=755");

    for (std::size_t i = 0; i < keptCount; ++i) {
        if (keptFds[i] < 0)
            continue;
        for (const QByteArray &parent : kept_[i].parents)
            mkdir(parent.constData(), 0755);
        mkdir(kept_[i].path.constData(), 0755);
        char source[32];
        fdPath(source, keptFds[i]);
        mount(source, kept_[i].path.constData(), nullptr, MS_BIND | MS_REC, nullptr);
        close(keptFds[i]);
    }
}

} // namespace office
