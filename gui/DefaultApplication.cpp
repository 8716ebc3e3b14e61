#include "gui/DefaultApplication.h"

#include <QDesktopServices>
#include <QUrl>

namespace gui {
namespace {

QStringList *openedFilesSink = nullptr;

} // namespace

void openWithDefaultApplication(const QString &path)
{
    if (openedFilesSink) {
        openedFilesSink->append(path);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void recordOpenedFiles(QStringList *sink)
{
    openedFilesSink = sink;
}

} // namespace gui
