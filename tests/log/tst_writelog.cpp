#include "log/PlainTextLog.h"
#include "log/WriteLog.h"
#include "platform/NativePath.h"

#include <QFile>
#include <QProcess>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <cstdlib>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray contents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class tst_writelog : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void cleanup() { std::setlocale(LC_ALL, "C.UTF-8"); }

    void linesAreAppendedOldestFirst()
    {
        const QString log = dir.filePath("two.log");
        const QDateTime first(QDate(2026, 1, 2), QTime(3, 4, 5));
        WriteLog(log, "/docs/a.doc", "文档已损坏，无法读取", first);
        WriteLog(log, "/docs/b.doc", "the office ended", first.addSecs(60));
        const QList<QByteArray> lines = contents(log).split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].endsWith("\t处理/docs/a.doc处错：文档已损坏，无法读取\r"));
        QVERIFY(lines[1].endsWith("\t处理/docs/b.doc处错：the office ended\r"));
        QCOMPARE(lines[2], "");
        const QLocale locale = QLocale::system();
        const QString stamp = locale.toString(first.date(), QLocale::ShortFormat) + " "
                              + locale.toString(first.time(), QLocale::LongFormat);
        QVERIFY(lines[0].startsWith(stamp.toUtf8() + "\t"));
    }

    void unwritableLogSaysWhyWithoutRaising()
    {
        const QString log = dir.filePath("no/such/folder/x.log");
        const LogWrite missing = WriteLog(log, "/d/a.doc", "failed");
        QVERIFY(!missing.written);
        QVERIFY2(missing.problem.contains("No such file"), qPrintable(missing.problem));
        QVERIFY(!QFile::exists(log));
        const LogWrite folder = WriteLog(dir.path(), "/d/a.doc", "a folder is not a log file");
        QVERIFY(!folder.written);
        QVERIFY(!folder.problem.isEmpty());
        QVERIFY(WriteLog(dir.filePath("ok.log"), "/d/a.doc", "failed").written);
    }

    void anEntryIsAlwaysOneReadableLine()
    {
        const QString log = dir.filePath("names.log");
        WriteLog(log, "/d/two\nlines\t.doc", "failed\r\nbadly");
        // A Chinese name in the GBK code page: bytes that are not UTF-8.
        WriteLog(log, platform::fromNativePath("/d/\xb1\xa8\xb8\xe6.doc"), "failed");
        const QList<QByteArray> lines = contents(log).split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].endsWith("\t处理/d/two\\nlines\\t.doc处错：failed\\r\\nbadly\r"));
        QVERIFY(lines[1].endsWith("\t处理/d/报告.doc处错：failed\r"));
    }

    void lineIsInTheLocalesEncoding()
    {
        // A GB18030 locale built for this test alone.
        QTemporaryDir locales;
        const int built = QProcess::execute("localedef",
                                            {"-i", "zh_CN", "-f", "GB18030", locales.filePath("zh_CN.GB18030")});
        if (built != 0 && built != 1)
            QSKIP("localedef cannot build zh_CN.GB18030 here");
        qputenv("LOCPATH", locales.path().toLocal8Bit());
        if (!std::setlocale(LC_ALL, "zh_CN.GB18030"))
            QSKIP("the zh_CN.GB18030 locale built here cannot be used");

        const QString log = dir.filePath("gb.log");
        WriteLog(log, "/文档/报告.doc", "无法打开");
        const QByteArray bytes = contents(log);
        QStringDecoder gb("GB18030");
        const QString text = gb.decode(bytes);
        QVERIFY(!gb.hasError());
        QVERIFY(text.endsWith("\t处理/文档/报告.doc处错：无法打开\r\n"));
        QVERIFY(!bytes.contains(QString("处理").toUtf8()));
        qunsetenv("LOCPATH");
    }

    void onlyAPlainTextFileIsTakenAsALog()
    {
        const auto file = [this](const QString &name, const QByteArray &bytes) {
            QFile f(dir.filePath(name));
            f.open(QIODevice::WriteOnly);
            f.write(bytes);
            return f.fileName();
        };
        const QString ours = dir.filePath("ours.log");
        WriteLog(ours, "/文档/报告.doc", "无法打开");
        WriteLog(ours, "/d/a.doc", "failed");
        QStringEncoder gb("GB18030");
        const QByteArray gbLine = gb.encode(QStringLiteral("2026/1/2 3:04:05\t处理/文档/报告.doc处错：无法打开\r\n"));
        // A FIFO or terminal given as the log is not even opened.
        QVERIFY(mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600) == 0);
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(inotify_add_watch(watch, QFile::encodeName(dir.filePath("fifo")).constData(), IN_OPEN) >= 0);
        for (const QString &path : {dir.filePath("missing.log"), file("empty.log", ""), ours, file("gb.log", gbLine),
                                    file("notes.txt", "plain notes\n\tindented\r\n"), dir.filePath("fifo"),
                                    file("late.log", QByteArray(4096, 'x') + '\0')})
            QVERIFY2(isPlainTextLog(path), qPrintable(path));
        char event[256];
        QCOMPARE(read(watch, event, sizeof event), ssize_t(-1));
        close(watch);

        for (const QByteArray &bytes :
             {QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"), QByteArray("\xD0\xCF\x11\xE0"), QByteArray("PK\x03\x04"),
              QByteArray("{\\rtf1\\ansi text"), QByteArray("%PDF-1.7"), QByteArray("\xEF\xBB\xBF<?xml version"),
              QByteArray("\r\n  <HTML><body>"), QByteArray("<!DOCTYPE html>"), QByteArray("text\0more", 9),
              QByteArray("line\x1b[0m"), QByteArray("line\x7f"), QByteArray(4095, 'x') + '\x01'}) {
            const QString path = file("document", bytes);
            QVERIFY2(!isPlainTextLog(path), bytes.left(12).toHex().constData());
            QFile::remove(path);
        }
    }

    void unencodableLineFallsBackToUtf8()
    {
        std::setlocale(LC_ALL, "C");
        const QString log = dir.filePath("c.log");
        WriteLog(log, "/文档/报告.doc", "无法打开");
        const QString text = QString::fromUtf8(contents(log));
        QVERIFY(text.endsWith("\t处理/文档/报告.doc处错：无法打开\r\n"));
    }
};

QTEST_GUILESS_MAIN(tst_writelog)
#include "tst_writelog.moc"
