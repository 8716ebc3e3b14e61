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
    // Pagegrab's own data folder, whichever of its programs asks (not the
    // asking program's, so the window and pagegrab-batch share one log).
    const QString own = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Pagegrab";
    QDir().mkpath(own);
    return own + "/Pagegrab.log";
}
