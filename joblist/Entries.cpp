#include "joblist/Entries.h"

#include "joblist/FolderScan.h"
#include "platform/FolderPath.h"
#include "platform/NativePath.h"

#include <QFileInfo>

namespace joblist {
namespace {

const char kMask[] = "*.doc";

// A selection is limited to what a name buffer of this many characters holds:
// the folder, then each chosen name, each followed by a NUL.
constexpr qsizetype kNameBufferChars = 32767;

bool fitsNameBuffer(const QStringList &paths)
{
    qsizetype needed = QFileInfo(paths.constFirst()).path().size() + 2;
    for (const QString &path : paths)
        needed += QFileInfo(path).fileName().size() + 1;
    return needed <= kNameBufferChars;
}

} // namespace

std::optional<QStringList> pickedFileEntries(const QStringList &chosen)
{
    if (chosen.isEmpty())
        return QStringList{};
    if (!fitsNameBuffer(chosen))
        return std::nullopt;
    if (chosen.size() == 1)
        return chosen;
    QStringList entries;
    for (const QString &path : chosen) {
        const QFileInfo file(path);
        entries << file.path() + "/" + file.fileName();
    }
    return entries;
}

QStringList folderEntries(QString folder, bool subfolders)
{
    platform::appendSeparator(folder);
    QStringList found;
    if (subfolders)
        ScanFolder(found, folder, kMask);
    else
        listFolder(found, folder, kMask);
    return found;
}

QStringList droppedEntries(const QStringList &paths)
{
    QStringList entries;
    for (const QString &path : paths) {
        if (platform::isNativeFolder(path))
            entries << folderEntries(path, true);
        else if (matchesMask(QFileInfo(path).fileName(), kMask) && platform::isNativeFile(path))
            entries << path;
    }
    return entries;
}

} // namespace joblist
