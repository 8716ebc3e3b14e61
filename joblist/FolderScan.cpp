#include "joblist/FolderScan.h"

#include "platform/FolderPath.h"
#include "platform/NativePath.h"

#include <dirent.h>
#include <sys/stat.h>

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

struct Folder {
    dev_t device;
    ino_t inode;
};

void scan(QStringList &found, QString &folder, const QString &mask, std::vector<Folder> &ancestors)
{
    platform::appendSeparator(folder);
    struct stat self {};
    if (stat(platform::toNativePath(folder).constData(), &self) != 0)
        return;
    ancestors.push_back({self.st_dev, self.st_ino});

    QStringList subfolders;
    for (const Entry &entry : entriesOf(folder)) {
        if (!entry.isFolder) {
            if (matchesMask(entry.name, mask))
                found << folder + entry.name;
            continue;
        }
        // Only a link back to a folder being scanned would make the walk
        // endless; any other folder is entered, also one reached twice.
        const bool leadsBack = std::any_of(ancestors.begin(), ancestors.end(), [&](const Folder &a) {
            return a.device == entry.device && a.inode == entry.inode;
        });
        if (!leadsBack)
            subfolders << folder + entry.name;
    }
    for (QString &subfolder : subfolders)
        scan(found, subfolder, mask, ancestors);
    ancestors.pop_back();
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
    std::vector<Folder> ancestors;
    scan(found, folder, mask, ancestors);
}

} // namespace joblist
