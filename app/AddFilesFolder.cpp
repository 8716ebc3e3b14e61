#include "app/AddFilesFolder.h"

#include <QFileInfo>
#include <QSettings>

namespace {

QSettings settings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Pagegrab", "Pagegrab");
}

const char kKey[] = "addFiles/folder";

} // namespace

QString lastAddFilesFolder()
{
    return settings().value(kKey).toString();
}

void rememberAddFilesFolder(const QStringList &chosen)
{
    if (!chosen.isEmpty())
        settings().setValue(kKey, QFileInfo(chosen.constFirst()).absolutePath());
}
