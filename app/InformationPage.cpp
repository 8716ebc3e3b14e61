#include "app/InformationPage.h"

#include <QFile>

QString offlinePage(const QString &logPath)
{
    QFile page(":/offline.html");
    if (!page.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(page.readAll())
        .replace("%VERSION%", PAGEGRAB_VERSION)
        .replace("%LOG%", logPath.toHtmlEscaped());
}
