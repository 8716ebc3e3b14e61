#pragma once

#include <QPalette>
#include <QString>
#include <QUrl>

// The side panel's page on the information server; the version is this
// fixed text, not the program's build version.
inline QUrl informationPageAddress(const QString &server)
{
    return QUrl(server + "/soft/Pagegrab.aspx?VER=" + "1.0");
}

// What the panel shows when the information page cannot be loaded (no
// network, the server down): the program, the four steps of a run, and
// where the pictures and the log go; in the desktop theme's colours, as the
// window's own boxes.
QString offlinePage(const QString &logPath, const QPalette &colours);
