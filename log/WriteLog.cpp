#include "log/WriteLog.h"

#include "platform/Descriptor.h"
#include "platform/NativePath.h"
#include "platform/PathWalk.h"
#include "platform/WholeFile.h"

#include <QLocale>
#include <QStringEncoder>

#include <cerrno>
#include <cstring>

#include <langinfo.h>
#include <unistd.h>

namespace {

QByteArray encodeForLocale(const QString &text)
{
    QStringEncoder encoder(nl_langinfo(CODESET));
    if (encoder.isValid()) {
        QByteArray bytes = encoder.encode(text);
        if (!encoder.hasError())
            return bytes;
    }
    return text.toUtf8();
}

} // namespace

QString oneLine(const QString &text)
{
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        if (c == '\n')
            line += "\\n";
        else if (c == '\r')
            line += "\\r";
        else if (c == '\t')
            line += "\\t";
        else if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            line += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar('0'));
        else
            line += c;
    }
    return line;
}

QString logEntry(const QString &documentPath, const QString &description)
{
    return oneLine("处理" + platform::readablePath(documentPath) + "处错：" + description);
}

LogWrite WriteLog(const QString &logFile, const QString &documentPath, const QString &description,
                  const QDateTime &when)
{
    return WriteLogNote(logFile, logEntry(documentPath, description), when);
}

LogWrite WriteLogNote(const QString &logFile, const QString &text, const QDateTime &when)
{
    const QLocale locale = QLocale::system();
    const QString stamp = locale.toString(when.date(), QLocale::ShortFormat) + " "
                          + locale.toString(when.time(), QLocale::LongFormat);
    const QByteArray line = encodeForLocale(stamp + "\t" + oneLine(text) + "\r\n");

    // Opened as documents are: never through another user's link to a
    // place that user could not write (a root run's line in root's files),
    // never waiting on a FIFO that no one reads.
    const platform::WalkedPath walked = platform::openFileToAppend(platform::toNativePath(logFile));
    if (walked.outcome != platform::WalkedPath::Opened)
        return {false, platform::whyNotOpened(walked)};
    const platform::Descriptor file(walked.fd);
    if (const int error = platform::writeEvery(file.get(), line)) {
        // Half a line would run into the next one: take it back.
        (void)!ftruncate(file.get(), walked.file.st_size);
        return {false, QString::fromLocal8Bit(std::strerror(error))};
    }
    return {true, {}};
}
