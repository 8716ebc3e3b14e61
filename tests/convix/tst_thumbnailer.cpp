// The EMF thumbnailer as file managers run it: the real program, one process
// per picture, on pages made from the test documents.

#include "conversion/ConvertDocument.h"
#include "convix/Thumbnail.h"
#include "office/LibreOffice.h"
#include "support/Processes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <csignal>

namespace {

const QString kTestDocs = QStringLiteral(PAGEGRAB_TESTDOCS);
const QByteArray kPngSignature("\x89PNG\r\n\x1a\n");
// The program's own limit, and a margin for a loaded machine.
const int kMostWait = int(std::chrono::milliseconds(convix::kThumbnailTimeLimit).count()) + 15000;

struct Run {
    bool finished = false;
    int exitCode = -1;
    QString error; // standard error
    qint64 pid = 0;
    qint64 milliseconds = 0;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The picture's frame, in hundredths of a millimetre, from its header.
QSizeF frameOf(const QByteArray &emf)
{
    const auto at = [&](int offset) { return qFromLittleEndian<qint32>(emf.constData() + offset); };
    return QSizeF(at(32) - at(24) + 1, at(36) - at(28) + 1);
}

} // namespace

class tst_thumbnailer : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QTemporaryDir temp; // the program's temporary folder
    QString pages;      // EMF pages of the test documents

    // `every` runs while the program does, every few milliseconds. The
    // program runs as the thumbnailer's parent, where it is not that.
    Run thumbnail(const QStringList &arguments, const std::function<void(qint64 pid)> &every = {},
                  const QString &programPath = PAGEGRAB_THUMBNAILER)
    {
        QProcess program;
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", temp.path());
        environment.remove("XDG_RUNTIME_DIR");
        program.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        program.start(programPath, arguments);
        Run run;
        if (!program.waitForStarted())
            return run;
        run.pid = program.processId();
        while (!(run.finished = program.waitForFinished(20)) && clock.elapsed() < kMostWait)
            if (every)
                every(run.pid);
        run.milliseconds = clock.elapsed();
        if (!run.finished) {
            program.kill();
            program.waitForFinished();
        }
        run.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
        run.error = QString::fromUtf8(program.readAllStandardError());
        return run;
    }

    // No office of the program's is left, nor anything in its temporary folder.
    void leftNothing(const Run &run)
    {
        QTRY_VERIFY(officesOf(run.pid).isEmpty());
        QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

    // One line, in Chinese, saying why.
    void saidWhyInOneLine(const Run &run)
    {
        QVERIFY2(run.error.endsWith('\n') && run.error.count('\n') == 1, qPrintable(run.error));
        QVERIFY2(run.error.contains(QRegularExpression("[\\x{4e00}-\\x{9fff}]")), qPrintable(run.error));
    }

private slots:
    void initTestCase()
    {
        pages = dir.filePath("pages");
        QDir().mkpath(pages);
        // Letter-sized portrait pages, and word2's first page lies landscape.
        for (const char *doc : {"simple.doc", "word2.doc"})
            QVERIFY(!conversion::ConvertDocument({kTestDocs + "/" + doc, pages + "/", dir.filePath("log"), {}}, [] {
                         return office::startLibreOffice();
                     }).failed());
        QVERIFY(QFile::exists(pages + "/simple-1.emf"));
        QVERIFY(QFile::exists(pages + "/word2-1.emf"));
    }

    void argumentsAreReadAsFileManagersGiveThem_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("size");
        QTest::newRow("as the entry gives them") << QStringList{"-s", "256", "/tmp/a.emf", "/tmp/a.png"} << 256;
        QTest::newRow("smallest") << QStringList{"-s", "1", "a.emf", "a.png"} << 1;
        QTest::newRow("xx-large") << QStringList{"-s", "1024", "a.emf", "a.png"} << 1024;
        QTest::newRow("a name like an option") << QStringList{"-s", "128", "-a.emf", "-s"} << 128;
        QTest::newRow("zero") << QStringList{"-s", "0", "a.emf", "a.png"} << 0;
        QTest::newRow("larger than a thumbnail") << QStringList{"-s", "1025", "a.emf", "a.png"} << 0;
        QTest::newRow("negative") << QStringList{"-s", "-256", "a.emf", "a.png"} << 0;
        QTest::newRow("not a number") << QStringList{"-s", "large", "a.emf", "a.png"} << 0;
        QTest::newRow("no size") << QStringList{"a.emf", "a.png"} << 0;
        QTest::newRow("no output") << QStringList{"-s", "256", "a.emf"} << 0;
        QTest::newRow("empty output") << QStringList{"-s", "256", "a.emf", ""} << 0;
        QTest::newRow("one too many") << QStringList{"-s", "256", "a.emf", "a.png", "b.png"} << 0;
    }

    void argumentsAreReadAsFileManagersGiveThem()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, size);
        const auto request = convix::readThumbnailArguments(arguments);
        QCOMPARE(request.size, size);
        QCOMPARE(request.problem.isEmpty(), size > 0);
        if (size > 0) {
            QCOMPARE(request.input, arguments[2]);
            QCOMPARE(request.output, arguments[3]);
        }
    }

    void wrongUsageWritesNothing()
    {
        const QString output = dir.filePath("usage.png");
        const Run run = thumbnail({"-s", "4096", pages + "/simple-1.emf", output});
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(!QFile::exists(output));
        saidWhyInOneLine(run);
        QVERIFY(officesOf(run.pid).isEmpty());
    }

    void pagesAtTheSizeAsked_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<int>("size");
        QTest::newRow("portrait, normal") << "simple-1.emf" << 128;
        QTest::newRow("portrait, large") << "simple-1.emf" << 256;
        QTest::newRow("landscape, large") << "word2-1.emf" << 256;
        QTest::newRow("landscape, xx-large") << "word2-1.emf" << 1024;
    }

    void pagesAtTheSizeAsked()
    {
        QFETCH(QString, page);
        QFETCH(int, size);
        const QString output = dir.filePath(QStringLiteral("%1-%2.png").arg(page).arg(size));
        const Run run = thumbnail({"-s", QString::number(size), pages + "/" + page, output});
        QVERIFY(run.finished);
        QVERIFY2(run.exitCode == 0, qPrintable(run.error));
        QCOMPARE(run.error, QString());

        const QByteArray png = readAll(output);
        QCOMPARE(png.left(8), kPngSignature);
        const QImage picture = QImage::fromData(png, "PNG");
        QVERIFY(!picture.isNull());
        QCOMPARE(std::max(picture.width(), picture.height()), size);
        // The page's shape: each side within rounding of the frame's.
        const QSizeF frame = frameOf(readAll(pages + "/" + page));
        QVERIFY(std::abs(picture.width() * frame.height() - picture.height() * frame.width())
                <= (frame.width() + frame.height()) / 2);
        QCOMPARE(picture.width() > picture.height(), frame.width() > frame.height());
        // On white paper, with the page's text drawn on it.
        QCOMPARE(picture.pixelColor(0, 0), QColor(Qt::white));
        bool drawn = false;
        for (int y = 0; y < picture.height() && !drawn; ++y)
            for (int x = 0; x < picture.width() && !drawn; ++x)
                drawn = picture.pixelColor(x, y) != QColor(Qt::white);
        QVERIFY(drawn);
        QCOMPARE(QFileInfo(output).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        leftNothing(run);
    }

    void damagedPicturesGiveNoThumbnailPromptly_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray page = readAll(pages + "/simple-1.emf");
        QVERIFY(page.size() > 1000);
        QTest::newRow("zero bytes") << QByteArray();
        QTest::newRow("garbage") << QByteArray(4000, '\x5a');
        QTest::newRow("cut short") << page.left(page.size() / 2);
        QTest::newRow("a document, not an EMF") << readAll(kTestDocs + "/simple.doc");
        QTest::newRow("a PNG, not an EMF") << QByteArray(kPngSignature + QByteArray(2000, '\0'));
        // A whole header, its length right, then noise where its records
        // were: only the office can tell.
        QByteArray noise = page;
        for (qsizetype i = 200; i < noise.size(); ++i)
            noise[i] = char((i * 7919) >> 3);
        QTest::newRow("records garbled") << noise;
    }

    void damagedPicturesGiveNoThumbnailPromptly()
    {
        QFETCH(QByteArray, bytes);
        const QString input = dir.filePath("damaged.emf");
        const QString output = dir.filePath("damaged.png");
        writeFile(input, bytes);
        const Run run = thumbnail({"-s", "256", input, output});
        QVERIFY2(run.finished, "the thumbnailer did not end");
        QVERIFY(run.exitCode != 0);
        QVERIFY2(run.milliseconds < kMostWait, qPrintable(QString::number(run.milliseconds)));
        QVERIFY(!QFile::exists(output));
        saidWhyInOneLine(run);
        leftNothing(run);
    }

    // tumbler makes the output file first and reads it back through the
    // handle it opened then.
    void fillsTheFileMadeForIt()
    {
        const QString output = dir.filePath("tumbler-XXXXXX.png");
        QFile made(output);
        QVERIFY(made.open(QIODevice::ReadWrite));
        const Run run = thumbnail({"-s", "128", pages + "/simple-1.emf", output});
        QVERIFY2(run.exitCode == 0, qPrintable(run.error));
        QVERIFY(made.seek(0));
        const QImage picture = QImage::fromData(made.readAll(), "PNG");
        QCOMPARE(std::max(picture.width(), picture.height()), 128);

        // Without a thumbnail it stays empty.
        made.resize(0);
        const QString damaged = dir.filePath("garbage.emf");
        writeFile(damaged, QByteArray(3000, '\x01'));
        QVERIFY(thumbnail({"-s", "128", damaged, output}).exitCode != 0);
        QVERIFY(made.seek(0));
        QCOMPARE(made.readAll(), QByteArray());
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
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 128 + SIGTERM);
        QVERIFY(!QFile::exists(output));
        leftNothing(run);
    }

    // A file manager shows whatever lands in a folder: where the system
    // refuses a layer of the confinement, no office draws the picture.
    void unconfinedOfficesDrawNothing_data()
    {
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no namespaces") << "namespaces"
                                       << "网络";
        QTest::newRow("no Landlock") << "landlock"
                                     << "Landlock";
    }

    void unconfinedOfficesDrawNothing()
    {
        QFETCH(QString, refusal);
        QFETCH(QString, reason);
        const QString output = dir.filePath("unconfined.png");
        const Run run = thumbnail({refusal, PAGEGRAB_THUMBNAILER, "-s", "256", pages + "/simple-1.emf", output}, {},
                                  REFUSE);
        QVERIFY(run.finished);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(!QFile::exists(output));
        saidWhyInOneLine(run);
        QVERIFY2(run.error.contains("隔离") && run.error.contains(reason), qPrintable(run.error));
        leftNothing(run);
    }

    // An office that never answers (every one the program starts is stopped)
    // is ended within the time limit, and the file manager's queue goes on.
    void hungOfficeIsEndedInTime()
    {
        const QString output = dir.filePath("hung.png");
        const Run run = thumbnail({"-s", "256", pages + "/simple-1.emf", output}, [](qint64 pid) {
            for (const int office : officesOf(pid))
                ::kill(office, SIGSTOP);
        });
        QVERIFY2(run.finished, "the thumbnailer did not end");
        QCOMPARE(run.exitCode, 1);
        QVERIFY(!QFile::exists(output));
        saidWhyInOneLine(run);
        leftNothing(run);
    }
};

QTEST_GUILESS_MAIN(tst_thumbnailer)

#include "tst_thumbnailer.moc"
