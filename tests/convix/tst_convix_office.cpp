#include "conversion/ConvertDocument.h"
#include "convix/Batch.h"
#include "convix/Preview.h"
#include "office/LibreOffice.h"
#include "support/Documents.h"
#include "support/OfficePdf.h"
#include "support/Processes.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

const QString kTestDocs = QStringLiteral(PAGEGRAB_TESTDOCS);

convix::RendererFactory realRenderer()
{
    return [] { return office::startPictureRenderer(); };
}

QStringList leftovers(const QString &folder)
{
    return QDir(folder).entryList({".pagegrab-*"}, QDir::Files | QDir::Hidden);
}

} // namespace

class tst_convix_office : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString pages; // EMF pages made from the test documents
    int pageCount = 0;

    QString freshCopy()
    {
        const QString folder = dir.filePath(QString::number(QRandomGenerator::global()->generate()));
        QDir().mkpath(folder);
        for (const QString &name : QDir(pages).entryList({"*.emf"}, QDir::Files))
            QFile::copy(pages + "/" + name, folder + "/" + name);
        return folder;
    }

private slots:
    void initTestCase()
    {
        pages = dir.filePath("pages");
        QDir().mkpath(pages);
        // How many pages the fonts here give, as the office's own PDF has them.
        for (const char *doc : {"simple.doc", "Bug47958.doc", "word2.doc"}) {
            QVERIFY(!conversion::ConvertDocument({kTestDocs + "/" + doc, pages + "/", dir.filePath("log"), {}}, [] {
                         return office::startLibreOffice();
                     }).failed());
            pageCount += pdfPageCount(officePdf(kTestDocs + "/" + doc, dir.path()));
        }
        QCOMPARE(convix::pictureFiles(pages).size(), pageCount);
    }

    void everyPageConvertsAtItsSize()
    {
        const QString folder = freshCopy();
        std::atomic<bool> cancel{false};
        QList<int> progress;
        const auto outcome = convix::convert({convix::pictureFiles(folder), convix::Format::Jpg, 96, false},
                                             realRenderer(), cancel, [&](int done) { progress << done; });
        QCOMPARE(outcome.written, pageCount);
        QVERIFY(outcome.failed.isEmpty());
        QCOMPARE(progress.size(), pageCount);
        // Letter paper at 96 dpi: 8.5 x 11 inches; word2 lies landscape.
        QCOMPARE(QImage(folder + "/simple-1.jpg").size(), QSize(816, 1056));
        QCOMPARE(QImage(folder + "/word2-1.jpg").size(), QSize(1056, 816));
        for (const QString &emf : convix::pictureFiles(folder))
            QCOMPARE(QImage(convix::targetPath(emf, convix::Format::Jpg)).size(), convix::pixelSize(emf, 96));

        const auto bmp = convix::convert({{folder + "/Bug47958-2.emf"}, convix::Format::Bmp, 150, false},
                                         realRenderer(), cancel);
        QCOMPARE(bmp.written, 1);
        QImage picture(folder + "/Bug47958-2.bmp");
        QCOMPARE(picture.size(), QSize(1275, 1650));
        QFile bmpFile(folder + "/Bug47958-2.bmp");
        QVERIFY(bmpFile.open(QIODevice::ReadOnly));
        QCOMPARE(bmpFile.read(2), QByteArray("BM"));

        // PNG, at the same resolutions, on white paper like the others.
        const auto png = convix::convert({{folder + "/simple-1.emf"}, convix::Format::Png, 150, false}, realRenderer(),
                                         cancel);
        QCOMPARE(png.written, 1);
        QFile pngFile(folder + "/simple-1.png");
        QVERIFY(pngFile.open(QIODevice::ReadOnly));
        QCOMPARE(pngFile.read(8), QByteArray("\x89PNG\r\n\x1a\n"));
        const QImage page(folder + "/simple-1.png");
        QCOMPARE(page.size(), QSize(1275, 1650));
        QVERIFY(!page.hasAlphaChannel() || page.pixelColor(0, 0).alpha() == 255);
        QVERIFY(leftovers(folder).isEmpty());
    }

    void damagedPicturesFailAndTheRestConvert()
    {
        const QString folder = freshCopy();
        QFile noise(folder + "/noise.emf");
        QVERIFY(noise.open(QIODevice::WriteOnly));
        noise.write(QByteArray(4000, '\x5a'));
        noise.close();
        // A valid header with nothing a renderer can read behind it.
        QFile truncated(folder + "/truncated.emf");
        QVERIFY(truncated.open(QIODevice::WriteOnly));
        QFile whole(pages + "/simple-1.emf");
        QVERIFY(whole.open(QIODevice::ReadOnly));
        truncated.write(whole.read(120));
        truncated.close();

        std::atomic<bool> cancel{false};
        const auto outcome = convix::convert({convix::pictureFiles(folder), convix::Format::Jpg, 96, false},
                                             realRenderer(), cancel);
        QCOMPARE(outcome.written, pageCount);
        QCOMPARE(outcome.failed.size(), 2);
        QStringList failedNames;
        for (const auto &f : outcome.failed) {
            failedNames << QFileInfo(f.file).fileName();
            QVERIFY(!f.reason.isEmpty());
        }
        failedNames.sort();
        QCOMPARE(failedNames, (QStringList{"noise.emf", "truncated.emf"}));
        QVERIFY(!QFile::exists(folder + "/noise.jpg"));
        QVERIFY(!QFile::exists(folder + "/truncated.jpg"));
    }

    void cancelStopsBetweenFilesAndExistingFilesWaitForConsent()
    {
        const QString folder = freshCopy();
        std::atomic<bool> cancel{false};
        const auto stopped = convix::convert({convix::pictureFiles(folder), convix::Format::Jpg, 96, false},
                                             realRenderer(), cancel, [&](int) { cancel = true; });
        QVERIFY(stopped.cancelled);
        QCOMPARE(stopped.written, 1);
        QCOMPARE(QDir(folder).entryList({"*.jpg"}, QDir::Files).size(), 1);
        QVERIFY(leftovers(folder).isEmpty());

        // Without consent, a picture already there stays as it was.
        const QString first = convix::targetPath(convix::pictureFiles(folder).constFirst(), convix::Format::Jpg);
        QFile mark(first);
        QVERIFY(mark.open(QIODevice::WriteOnly));
        mark.write("mine");
        mark.close();
        cancel = false;
        const auto kept = convix::convert({convix::pictureFiles(folder).mid(0, 2), convix::Format::Jpg, 96, false},
                                          realRenderer(), cancel);
        QCOMPARE(kept.skipped, 1);
        QCOMPARE(kept.written, 1);
        QVERIFY(mark.open(QIODevice::ReadOnly));
        QCOMPARE(mark.readAll(), QByteArray("mine"));
        mark.close();
        const auto replaced = convix::convert({convix::pictureFiles(folder).mid(0, 1), convix::Format::Jpg, 96, true},
                                              realRenderer(), cancel);
        QCOMPARE(replaced.written, 1);
        QVERIFY(!QImage(first).isNull());
    }

    void previewDrawsARealPageAndItsOfficeQuits()
    {
        const QString page = pages + "/simple-1.emf";
        auto preview = std::make_unique<convix::Preview>(realRenderer());
        QSignalSpy shown(preview.get(), &convix::Preview::shown);
        QSignalSpy failed(preview.get(), &convix::Preview::failed);
        preview->request(page, {600, 600});
        QTRY_VERIFY_WITH_TIMEOUT(shown.size() + failed.size() > 0, 60000);
        QVERIFY2(failed.isEmpty(), qPrintable(failed.value(0).value(1).toString()));
        const QImage picture = shown[0][1].value<QImage>();
        QCOMPARE(picture.size(), convix::fittedSize(page, {600, 600}));
        // The page's line of text, darker than its paper.
        int dark = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                dark += qGray(picture.pixel(x, y)) < 160;
        QVERIFY2(dark > 20, qPrintable(QString::number(dark)));
        QVERIFY(!officesOf(QCoreApplication::applicationPid()).isEmpty());
        preview.reset();
        QTRY_VERIFY(officesOf(QCoreApplication::applicationPid()).isEmpty());
    }

    void killedMidRunLeavesNoOfficeAndNoPartialFile()
    {
        OfficeSockets sockets;
        sockets.note();
        const QString folder = freshCopy();
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--convert", folder});
        QVERIFY(child.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(folder).entryList({"*.jpg"}, QDir::Files).isEmpty(), 60000);
        QVERIFY(!officesOf(child.processId()).isEmpty());
        const qint64 pid = child.processId();
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        QVERIFY(child.waitForFinished());

        QTRY_VERIFY(officesOf(pid).isEmpty());
        QVERIFY(leftovers(folder).isEmpty());
        for (const QString &name : QDir(folder).entryList({"*.jpg"}, QDir::Files))
            QVERIFY2(!QImage(folder + "/" + name).isNull(), qPrintable(name));
        QVERIFY(QDir(folder).entryList({"*.jpg"}, QDir::Files).size() < pageCount);
        sockets.removeNew();
    }
};

int main(int argc, char *argv[])
{
    if (argc == 3 && QByteArray(argv[1]) == "--convert") {
        // The converter's work alone, for the test that kills it mid-run.
        QCoreApplication app(argc, argv);
        std::atomic<bool> cancel{false};
        const QString folder = QString::fromLocal8Bit(argv[2]);
        convix::convert({convix::pictureFiles(folder), convix::Format::Jpg, 300, true}, realRenderer(), cancel);
        return 0;
    }
    QCoreApplication app(argc, argv);
    tst_convix_office test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_convix_office.moc"
