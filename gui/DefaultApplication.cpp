#include "gui/DefaultApplication.h"

#include <QDesktopServices>
#include <QUrl>

namespace gui {
namespace {

QStringList *openedFilesSink = nullptr;
bool recordedOpenerFound = true;

} // namespace

bool openWithDefaultApplication(const QString &path)
{
    if (openedFilesSink) {
        openedFilesSink->append(path);
        return recordedOpenerFound;
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void recordOpenedFiles(QStringList *sink, bool openerFound)
{
    openedFilesSink = sink;
    recordedOpenerFound = openerFound;
}

} // namespace gui
