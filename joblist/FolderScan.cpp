#include "joblist/FolderScan.h"

#include "platform/FolderPath.h"
#include "platform/NativePath.h"

#include <dirent.h>
#include <sys/stat.h>

#include <set>
#include <utility>
#include <vector>

namespace joblist {
namespace {

struct Entry {
    QString name;
    bool isFolder = false;
    dev_t device = 0;
    ino_t inode = 0;
};

// Plain and hidden entries in the file system's own order, read as bytes so
// names that are not UTF-8 survive; sockets, fifos, devices and broken links
// are left out. Links count as what they lead to.
std::vector<Entry> entriesOf(const QString &folder)
{
    std::vector<Entry> entries;
    const QByteArray native = platform::toNativePath(folder);
    DIR *dir = opendir(native.constData());
    if (!dir)
        return entries;
    while (const dirent *d = readdir(dir)) {
        const QByteArray name(d->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat info {};
        if (stat(native + name, &info) != 0 || !(S_ISDIR(info.st_mode) || S_ISREG(info.st_mode)))
            continue;
        entries.push_back({platform::fromNativePath(name), S_ISDIR(info.st_mode), info.st_dev, info.st_ino});
    }
    closedir(dir);
    return entries;
}

// What a scan has met already, by device and inode: links may lead to a
// folder or document any number of times, and each is taken once.
using Seen = std::set<std::pair<dev_t, ino_t>>;

void scan(QStringList &found, QString &folder, const QString &mask, Seen &seen)
{
    platform::appendSeparator(folder);
    struct stat self {};
    if (stat(platform::toNativePath(folder).constData(), &self) != 0 || !seen.insert({self.st_dev, self.st_ino}).second)
        return;

    QStringList subfolders;
    for (const Entry &entry : entriesOf(folder)) {
        if (!entry.isFolder) {
            if (matchesMask(entry.name, mask) && seen.insert({entry.device, entry.inode}).second)
                found << folder + entry.name;
            continue;
        }
        if (!seen.count({entry.device, entry.inode}))
            subfolders << folder + entry.name;
    }
    for (QString &subfolder : subfolders)
        scan(found, subfolder, mask, seen);
}

} // namespace

bool matchesMask(const QString &name, const QString &mask)
{
    return name.right(4).toUpper() == mask.right(4).toUpper();
}

void listFolder(QStringList &found, QString folder, const QString &mask)
{
    platform::appendSeparator(folder);
    for (const Entry &entry : entriesOf(folder))
        if (!entry.isFolder && matchesMask(entry.name, mask))
            found << folder + entry.name;
}

void ScanFolder(QStringList &found, QString &folder, const QString &mask)
{
    Seen seen;
    scan(found, folder, mask, seen);
}

} // namespace joblist
