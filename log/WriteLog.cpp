#include "log/WriteLog.h"

#include <QFile>
#include <QLocale>
#include <QStringEncoder>

#include <langinfo.h>

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

QString logLine(const QString &documentPath, const QString &description, const QDateTime &when)
{
    const QLocale locale = QLocale::system();
    const QString stamp =
        locale.toString(when.date(), QLocale::ShortFormat) + " " + locale.toString(when.time(), QLocale::LongFormat);
    return stamp + "\t处理" + documentPath + "处错：" + description;
}

void WriteLog(const QString &logFile, const QString &documentPath, const QString &description, const QDateTime &when)
{
    QFile file(logFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    file.write(encodeForLocale(logLine(documentPath, description, when) + "\r\n"));
}
