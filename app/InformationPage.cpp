#include "app/InformationPage.h"

#include <QFile>
#include <QPalette>

QString offlinePage(const QString &logPath, const QPalette &colours)
{
    QFile page(":/offline.html");
    if (!page.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(page.readAll())
        .replace("%VERSION%", PAGEGRAB_VERSION)
        .replace("%LOG%", logPath.toHtmlEscaped())
        .replace("%BACKGROUND%", colours.color(QPalette::Base).name())
        .replace("%TEXT%", colours.color(QPalette::Text).name())
        .replace("%DIM%", colours.color(QPalette::PlaceholderText).name());
}
