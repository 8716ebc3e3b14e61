#pragma once

#include <QDateTime>
#include <QString>

// Appends one line for a failed document to the processing log: the local
// date and time, a TAB, "处理", the path, "处错：", the description, CR LF.
// The file is opened, written and closed for every line, in the locale's own
// encoding; a line that encoding cannot hold is written in UTF-8 instead of
// being garbled. The log never reports a failure of its own.
void WriteLog(const QString &logFile, const QString &documentPath, const QString &description,
              const QDateTime &when = QDateTime::currentDateTime());

// The line without its ending, as it reads.
QString logLine(const QString &documentPath, const QString &description, const QDateTime &when);
