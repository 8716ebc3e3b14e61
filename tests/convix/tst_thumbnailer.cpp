// The EMF thumbnailer as file managers run it: the real program, one process
// per picture, on pages made from the test documents.

#include "conversion/ConvertDocument.h"
#include "convix/Thumbnail.h"
#include "office/LibreOffice.h"
#include "platform/WholeFile.h"
#include "support/Emf.h"
#include "support/Processes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString kTestDocs = QStringLiteral(PAGEGRAB_TESTDOCS);
// The program's own limit, and a margin for a loaded machine.
const int kMostWait = int(std::chrono::milliseconds(convix::kThumbnailTimeLimit).count()) + 15000;

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Run {
    bool finished = false;
    int exitCode = -1;
    QString error; // standard error
    qint64 pid = 0;
};

} // namespace

class tst_thumbnailer : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QTemporaryDir temp; // the program's temporary folder
    QString pages;      // EMF pages of the test documents

    // `every` runs every few milliseconds while the program does; `program`
    // may run the thumbnailer itself.
    Run thumbnail(const QStringList &arguments, const std::function<void(qint64 pid)> &every = {},
                  const QString &program = PAGEGRAB_THUMBNAILER)
    {
        QProcess process;
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", temp.path());
        environment.remove("XDG_RUNTIME_DIR");
        process.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        process.start(program, arguments);
        Run run;
        if (!process.waitForStarted())
            return run;
        run.pid = process.processId();
        while (!(run.finished = process.waitForFinished(20)) && clock.elapsed() < kMostWait)
            if (every)
                every(run.pid);
        if (!run.finished) {
            process.kill();
            process.waitForFinished();
        }
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.error = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    // Ended in time with `exitCode`, no output, the reason in one line of
    // Chinese, and no office or temporary file left behind.
    void noThumbnail(const Run &run, int exitCode, const QString &output)
    {
        QVERIFY2(run.finished, "the thumbnailer did not end in time");
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY(!QFile::exists(output));
        QVERIFY2(run.error.count('\n') == 1 && run.error.contains(QRegularExpression("[\\x{4e00}-\\x{9fff}]")),
                 qPrintable(run.error));
        QTRY_VERIFY(officesOf(run.pid).isEmpty());
        QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

private slots:
    void initTestCase()
    {
        pages = dir.filePath("pages");
        QDir().mkpath(pages);
        // Letter-sized portrait pages; word2's first page lies landscape.
        for (const char *doc : {"simple.doc", "word2.doc"})
            QVERIFY(!conversion::ConvertDocument({kTestDocs + "/" + doc, pages + "/", dir.filePath("log"), {}}, [] {
                         return office::startLibreOffice();
                     }).failed());
    }

    void argumentsAreReadAsFileManagersGiveThem_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("size");
        QTest::newRow("as the entry gives them") << QStringList{"-s", "256", "/tmp/a.emf", "/tmp/a.png"} << 256;
        QTest::newRow("xx-large, names like options") << QStringList{"-s", "1024", "-a.emf", "-s"} << 1024;
        QTest::newRow("zero") << QStringList{"-s", "0", "a.emf", "a.png"} << 0;
        QTest::newRow("larger than a thumbnail") << QStringList{"-s", "1025", "a.emf", "a.png"} << 0;
        QTest::newRow("not a number") << QStringList{"-s", "large", "a.emf", "a.png"} << 0;
        QTest::newRow("no output") << QStringList{"-s", "256", "a.emf"} << 0;
    }

    void argumentsAreReadAsFileManagersGiveThem()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, size);
        const auto request = convix::readThumbnailArguments(arguments);
        QCOMPARE(request.size, size);
        QCOMPARE(request.problem.isEmpty(), size > 0);
        QCOMPARE(request.output, size > 0 ? arguments[3] : QString());
    }

    void pagesAtTheSizeAsked_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<int>("size");
        QTest::newRow("portrait, normal") << "simple-1.emf" << 128;
        QTest::newRow("landscape, large") << "word2-1.emf" << 256;
        QTest::newRow("landscape, xx-large") << "word2-1.emf" << 1024;
    }

    void pagesAtTheSizeAsked()
    {
        QFETCH(QString, page);
        QFETCH(int, size);
        const QString output = dir.filePath(QStringLiteral("%1-%2.png").arg(page).arg(size));
        const Run run = thumbnail({"-s", QString::number(size), pages + "/" + page, output});
        QVERIFY2(run.exitCode == 0, qPrintable(run.error));
        QCOMPARE(run.error, QString());
        const QByteArray png = readAll(output);
        QCOMPARE(png.left(8), QByteArray("\x89PNG\r\n\x1a\n"));
        const QImage picture = QImage::fromData(png, "PNG");
        QCOMPARE(std::max(picture.width(), picture.height()), size);
        // The page's shape, to a pixel's rounding either way.
        const QRect frame = readEmfHeader(readAll(pages + "/" + page)).frame;
        QVERIFY(std::abs(qint64(picture.width()) * frame.height() - qint64(picture.height()) * frame.width())
                <= (frame.width() + frame.height()) / 2);
        // On white paper, the page's text drawn on it; for the user's eyes only.
        QImage paper(picture.size(), picture.format());
        paper.fill(Qt::white);
        QCOMPARE(picture.pixelColor(0, 0), QColor(Qt::white));
        QVERIFY(picture != paper);
        QCOMPARE(QFileInfo(output).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        QTRY_VERIFY(officesOf(run.pid).isEmpty());
    }

    // A file manager hands over names as the file system holds them: not
    // UTF-8 (GBK, from a Windows archive), or beyond U+FFFF.
    void everyNameIsDrawnAndWritten()
    {
        const QString folder = dir.filePath("names");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(pages + "/simple-1.emf", folder + "/💀.emf"));
        QVERIFY(QFile::copy(pages + "/simple-1.emf", folder + "/plain.emf"));
        const QByteArray gbk = QFile::encodeName(folder) + "/\xb1\xa8\xb8\xe6";
        QCOMPARE(::rename(QFile::encodeName(folder + "/plain.emf").constData(), gbk + ".emf"), 0);
        // Through a shell: a QString argument cannot carry bytes that are not UTF-8.
        const QString gbkName = "\"$1\"/\"$(printf '\\261\\250\\270\\346')\"";
        Run run = thumbnail({"-c", "exec \"$0\" -s 128 " + gbkName + ".emf \"$2\"", PAGEGRAB_THUMBNAILER, folder,
                             folder + "/合同𠂀.png"},
                            {}, "/bin/sh");
        QVERIFY2(run.exitCode == 0, qPrintable(run.error));
        QCOMPARE(QImage::fromData(readAll(folder + "/合同𠂀.png"), "PNG").height(), 128);
        run = thumbnail(
            {"-c", "exec \"$0\" -s 128 \"$2\" " + gbkName + ".png", PAGEGRAB_THUMBNAILER, folder, folder + "/💀.emf"},
            {}, "/bin/sh");
        QVERIFY2(run.exitCode == 0, qPrintable(run.error));
        QVERIFY(::access(gbk + ".png", F_OK) == 0);
        // Qt cannot remove what it cannot name.
        QVERIFY(::unlink(gbk + ".png") == 0 && ::unlink(gbk + ".emf") == 0);
    }

    void damagedPicturesGiveNoThumbnailPromptly_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("pipe");
        const QByteArray page = readAll(pages + "/simple-1.emf");
        QTest::newRow("zero bytes") << QByteArray() << false;
        QTest::newRow("garbage") << QByteArray(4000, '\x5a') << false;
        QTest::newRow("cut short") << page.left(page.size() / 2) << false;
        QTest::newRow("a document, not an EMF") << readAll(kTestDocs + "/simple.doc") << false;
        // A whole header, its length right, noise where its records were.
        QByteArray noise = page;
        for (qsizetype i = 200; i < noise.size(); ++i)
            noise[i] = char((i * 7919) >> 3);
        QTest::newRow("records garbled") << noise << false;
        // Nobody will ever write into it.
        QTest::newRow("a pipe") << QByteArray() << true;
    }

    void damagedPicturesGiveNoThumbnailPromptly()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, pipe);
        const QString input = dir.filePath("damaged.emf");
        QFile::remove(input);
        if (pipe) {
            QCOMPARE(::mkfifo(qPrintable(input), 0600), 0);
        } else {
            QFile file(input);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        }
        const QString output = dir.filePath("damaged.png");
        // Refused before any office starts.
        bool officeStarted = false;
        QElapsedTimer clock;
        clock.start();
        const Run run = thumbnail({"-s", "256", input, output},
                                  [&](qint64 pid) { officeStarted = officeStarted || !officesOf(pid).isEmpty(); });
        QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!officeStarted);
        noThumbnail(run, 1, output);
    }

    // tumbler makes the output file itself and reads it back through the
    // handle it opened then.
    void fillsTheFileMadeForIt()
    {
        QFile made(dir.filePath("made-by-the-file-manager.png"));
        QVERIFY(made.open(QIODevice::ReadWrite));
        QCOMPARE(thumbnail({"-s", "128", pages + "/simple-1.emf", made.fileName()}).exitCode, 0);
        QCOMPARE(QImage::fromData(made.readAll(), "PNG").height(), 128);
        // Without a thumbnail it stays empty.
        made.resize(0);
        QVERIFY(thumbnail({"-s", "128", kTestDocs + "/simple.doc", made.fileName()}).exitCode != 0);
        QVERIFY(made.seek(0));
        QCOMPARE(made.readAll(), QByteArray());
    }

    // What a second user plants at the output's name never receives a page.
    void onlyAFileOfOurOwnIsWrittenInto()
    {
        const QString victim = dir.filePath("victim");
        const auto untouched = [&] {
            QFile file(victim);
            return file.open(QIODevice::ReadOnly) && file.readAll() == "theirs";
        };
        const auto refused = [](const QString &output) {
            try {
                platform::writeIntoFile(output, "page", 0600);
            } catch (const platform::WriteFailure &) {
                return true;
            }
            return false;
        };
        QFile made(victim);
        QVERIFY(made.open(QIODevice::WriteOnly) && made.write("theirs") == 6);
        made.close();
        QVERIFY(QFile::link(victim, dir.filePath("link.png")));
        QVERIFY(refused(dir.filePath("link.png")));
        QCOMPARE(::link(qPrintable(victim), qPrintable(dir.filePath("second-name.png"))), 0);
        QVERIFY(refused(dir.filePath("second-name.png")));
        QCOMPARE(::unlink(qPrintable(dir.filePath("second-name.png"))), 0);
        QCOMPARE(::mkfifo(qPrintable(dir.filePath("pipe.png")), 0600), 0);
        QVERIFY(refused(dir.filePath("pipe.png")));
        if (::geteuid() == 0) {
            QCOMPARE(::chown(qPrintable(victim), 1, 1), 0);
            QVERIFY(refused(victim));
        }
        QVERIFY(untouched());

        // A file of our own that anyone could read is ours alone once written.
        const QString own = dir.filePath("own.png");
        QFile ownFile(own);
        QVERIFY(ownFile.open(QIODevice::WriteOnly));
        ownFile.close();
        QVERIFY(QFile::setPermissions(own, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther
                                               | QFileDevice::WriteOther));
        platform::writeIntoFile(own, "page", 0600);
        QCOMPARE(QFile::permissions(own),
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
    }

    void terminationEndsTheOfficeAndWritesNothing()
    {
        const QString output = dir.filePath("terminated.png");
        bool sent = false;
        const Run run = thumbnail({"-s", "1024", pages + "/word2-1.emf", output}, [&](qint64 pid) {
            if (!sent && !officesOf(pid).isEmpty())
                sent = ::kill(pid_t(pid), SIGTERM) == 0;
        });
        QVERIFY(sent);
        noThumbnail(run, 128 + SIGTERM, output);
    }

    // An office that never answers (each one the program starts is stopped)
    // is given up on by the office's own start limits, well within the
    // program's, and the file manager's queue goes on.
    void hungOfficeIsEndedInTime()
    {
        const QString output = dir.filePath("hung.png");
        noThumbnail(thumbnail({"-s", "256", pages + "/simple-1.emf", output},
                              [](qint64 pid) {
                                  for (const int office : officesOf(pid))
                                      ::kill(office, SIGSTOP);
                              }),
                    1, output);
    }

    // Thumbnails are made of whatever lands in a folder: where the system
    // refuses a layer of the confinement, no office draws the picture.
    void unconfinedOfficesDrawNothing()
    {
        const QString output = dir.filePath("unconfined.png");
        for (const QString refusal : {"namespaces", "landlock"}) {
            const Run run = thumbnail({refusal, PAGEGRAB_THUMBNAILER, "-s", "256", pages + "/simple-1.emf", output}, {},
                                      REFUSE);
            noThumbnail(run, 1, output);
            QVERIFY2(run.error.contains("隔离"), qPrintable(run.error));
        }
    }
};

QTEST_GUILESS_MAIN(tst_thumbnailer)

#include "tst_thumbnailer.moc"
