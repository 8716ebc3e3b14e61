#include "conversion/BatchCheck.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using conversion::BatchProblem;

// The one check of a batch that every front end runs: its problems come in
// one order, and what it makes on the way (the output folder) stays made.
class tst_batchcheck : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void problemsComeInTheWindowsOrder()
    {
        const QString document = dir.filePath("notes.doc");
        QFile file(document);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray bytes("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\0\0\0\0", 12);
        file.write(bytes);
        file.close();

        // Everything wrong at once; each step mends the problem found first.
        conversion::BatchRequest request{{}, "  ", document, {{"3", "2"}}, 2};
        const auto firstProblem = [&] { return conversion::checkBatch(request).problem; };
        QCOMPARE(firstProblem(), BatchProblem::NoDocuments);
        request.documents = {dir.filePath("a.doc"), dir.filePath("b.doc")};
        QCOMPARE(firstProblem(), BatchProblem::NoOutputFolder);
        request.outputFolder = dir.filePath("pictures");
        QCOMPARE(firstProblem(), BatchProblem::LogNotPlainText);
        QVERIFY(!QFile::exists(dir.filePath("pictures")));
        QFile kept(document);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), bytes);
        request.logFile = " ";
        request.outputFolder = "/proc/no/such/folder";
        QCOMPARE(firstProblem(), BatchProblem::OutputFolderNotMade);
        request.outputFolder = dir.filePath("pictures");
        // The folder is made, and named with its separator, before the log
        // and the range are looked at.
        const conversion::CheckedBatch noLog = conversion::checkBatch(request);
        QCOMPARE(noLog.problem, BatchProblem::NoLogFile);
        QCOMPARE(noLog.batch.outputFolder, dir.filePath("pictures") + "/");
        QVERIFY(QFileInfo(dir.filePath("pictures")).isDir());
        request.logFile = dir.filePath("run.log");
        QCOMPARE(firstProblem(), BatchProblem::BadPageRange);
        request.range = {{"2", "3"}};

        const conversion::CheckedBatch checked = conversion::checkBatch(request);
        QVERIFY(!checked.problem);
        QCOMPARE(checked.batch.documents, request.documents);
        QCOMPARE(checked.batch.outputFolder, dir.filePath("pictures") + "/");
        QCOMPARE(checked.batch.logFile, dir.filePath("run.log"));
        QVERIFY(checked.batch.range && checked.batch.range->first == 2 && checked.batch.range->last == 3);
        QCOMPARE(checked.batch.documentsInFlight, 2);
        request.range.reset();
        QVERIFY(!conversion::checkBatch(request).batch.range);
        QVERIFY(!QFile::exists(dir.filePath("run.log")));
    }
};

QTEST_GUILESS_MAIN(tst_batchcheck)
#include "tst_batchcheck.moc"
