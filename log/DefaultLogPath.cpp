#include "log/DefaultLogPath.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

// Asking the permission bits says yes to root everywhere; creating a file
// tells the truth for everyone.
bool canCreateFilesIn(const QString &folder)
{
    QTemporaryFile probe(folder + "/.pagegrab-probe-XXXXXX");
    return probe.open();
}

} // namespace

QString defaultLogPath(const QString &programFolder)
{
    // Joined as it stands: at the root folder that gives two separators.
    if (canCreateFilesIn(programFolder))
        return programFolder + "/Pagegrab.log";
    const QString own = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(own);
    return own + "/Pagegrab.log";
}
