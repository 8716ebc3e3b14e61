#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>

namespace cli {

// Columns a text takes on a terminal: two for a Chinese character or a
// full-width sign, one for anything else.
int displayColumns(const QString &text);

struct Argument {
    QString name;
    QString description;
};

// What --help prints: Qt's own help adds its stock options in English and
// lines its descriptions up by characters, which a Chinese name puts out of
// line.
QString helpText(const QString &usage, const QString &description, const QList<QCommandLineOption> &options,
                 const QList<Argument> &arguments);

} // namespace cli
