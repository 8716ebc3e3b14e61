#include "joblist/FolderScan.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace joblist {
namespace {

// Plain and hidden entries in the file system's own order; sockets, fifos,
// devices and broken links are left out.
QFileInfoList entriesOf(const QString &folder, QDir::Filters kinds)
{
    return QDir(folder).entryInfoList(kinds | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted);
}

void scan(QStringList &found, QString &folder, const QString &mask, QSet<QString> &visited)
{
    if (!folder.endsWith('/'))
        folder += '/';
    const QString real = QFileInfo(folder).canonicalFilePath();
    if (real.isEmpty() || visited.contains(real))
        return;
    visited.insert(real);

    QStringList subfolders;
    for (const QFileInfo &entry : entriesOf(folder, QDir::Files | QDir::Dirs)) {
        if (entry.isDir())
            subfolders << folder + entry.fileName();
        else if (matchesMask(entry.fileName(), mask))
            found << folder + entry.fileName();
    }
    for (QString &subfolder : subfolders)
        scan(found, subfolder, mask, visited);
}

} // namespace

bool matchesMask(const QString &name, const QString &mask)
{
    return name.right(4).toUpper() == mask.right(4).toUpper();
}

void listFolder(QStringList &found, QString folder, const QString &mask)
{
    if (!folder.endsWith('/'))
        folder += '/';
    for (const QFileInfo &entry : entriesOf(folder, QDir::Files))
        if (matchesMask(entry.fileName(), mask))
            found << folder + entry.fileName();
}

void ScanFolder(QStringList &found, QString &folder, const QString &mask)
{
    QSet<QString> visited;
    scan(found, folder, mask, visited);
}

} // namespace joblist
