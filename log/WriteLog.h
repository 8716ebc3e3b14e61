#pragma once

#include <QDateTime>
#include <QString>

// Whether a log line reached the file, and the system's reason when it did not.
struct LogWrite {
    bool written = false;
    QString problem;
};

// Appends one line for a failed document to the processing log: the local
// date and time, a TAB, "处理", the path, "处错：", the description, CR LF.
// The file is opened, written and closed for every line, in the locale's own
// encoding; a line that encoding cannot hold is written in UTF-8 instead of
// being garbled. A line is written whole or not at all, and the log never
// raises: the caller learns from the result whether the line is there.
LogWrite WriteLog(const QString &logFile, const QString &documentPath, const QString &description,
                  const QDateTime &when = QDateTime::currentDateTime());

// Appends one line that concerns the run rather than one document (the
// date and time, a TAB, the text, CR LF), by the same rules.
LogWrite WriteLogNote(const QString &logFile, const QString &text,
                      const QDateTime &when = QDateTime::currentDateTime());

// The text on one line whatever it holds: control characters (a newline in
// a file name) written as visible escapes ("\n", "\t", "\u001b").
QString oneLine(const QString &text);

// One entry as it reads: "处理" + path + "处错：" + description, on one line
// whatever the path or description hold (control characters are written as
// visible escapes, file-name bytes that are not UTF-8 as the name reads).
QString logEntry(const QString &documentPath, const QString &description);
