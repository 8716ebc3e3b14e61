#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kTestDocs = QStringLiteral(PAGEGRAB_TESTDOCS);

struct Ran {
    int status;
    QString said; // standard error
};

Ran runBatch(const QStringList &arguments)
{
    QProcess batch;
    batch.start(PAGEGRAB_BATCH, arguments);
    batch.waitForFinished(120000);
    return {batch.exitStatus() == QProcess::NormalExit ? batch.exitCode() : -1,
            QString::fromUtf8(batch.readAllStandardError())};
}

QStringList pictures(const QString &folder)
{
    return QDir(folder).entryList({"*.emf"}, QDir::Files, QDir::Name);
}

} // namespace

class tst_pagegrab_batch : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString tree; // simple.doc, simple-table.doc; sub/word2.doc; empty/

    QString out(const QString &name) { return dir.filePath(name); }

private slots:
    void initTestCase()
    {
        tree = dir.filePath("tree");
        QVERIFY(QDir().mkpath(tree + "/sub") && QDir().mkpath(tree + "/empty"));
        for (const auto &[from, to] : {std::pair{"simple.doc", "simple.doc"}, {"simple-table.doc", "simple-table.doc"},
                                       {"word2.doc", "sub/word2.doc"}})
            QVERIFY(QFile::copy(kTestDocs + "/" + from, tree + "/" + to));
    }

    void foldersRangesAndExitStatuses()
    {
        const QString log = dir.filePath("run.log");
        Ran ran = runBatch({"--log", log, out("flat"), tree});
        QCOMPARE(ran.status, 0);
        QCOMPARE(pictures(out("flat")), (QStringList{"simple-1.emf", "simple-table-1.emf"}));
        QVERIFY2(ran.said.contains("2/2 "), qPrintable(ran.said));

        ran = runBatch({"-r", "--log", log, out("deep"), tree});
        QCOMPARE(ran.status, 0);
        QVERIFY(pictures(out("deep")).contains("word2-1.emf"));
        QVERIFY(pictures(out("deep")).contains("simple-1.emf"));

        ran = runBatch({"--from", "2", "--to", "3", "--log", log, out("range"), tree + "/sub/word2.doc"});
        QCOMPARE(ran.status, 0);
        QCOMPARE(pictures(out("range")), (QStringList{"word2-2.emf", "word2-3.emf"}));
        QVERIFY(!QFile::exists(log));

        // A document that fails: its log line, status 1.
        ran = runBatch({"--log", log, out("failing"), kTestDocs + "/fuzzed-unreadable.doc", tree + "/simple.doc"});
        QCOMPARE(ran.status, 1);
        QCOMPARE(pictures(out("failing")), QStringList{"simple-1.emf"});
        QFile lines(log);
        QVERIFY(lines.open(QIODevice::ReadOnly));
        QCOMPARE(lines.readAll().count("\r\n"), 1);

        // What cannot run: status 2, in the window's words, nothing written.
        const QList<std::pair<QStringList, QString>> refused{
            {{out("none"), tree + "/empty"}, "没有需要处理的文档！"},
            {{"--from", "3", "--to", "2", out("none"), tree}, "请正确输入转换幻灯片的范围（数字）！"},
            {{"--from", "2", out("none"), tree}, "请正确输入转换幻灯片的范围（数字）！"},
            {{"--shard", "2/2", out("none"), tree}, "分片"},
            {{"/proc/no/such/folder", tree}, "无法创建图片保存目录！"},
            {{}, "请输入图片保存目录！"},
        };
        for (const auto &[arguments, says] : refused) {
            ran = runBatch(arguments);
            QCOMPARE(ran.status, 2);
            QVERIFY2(ran.said.contains(says), qPrintable(ran.said));
        }
        QVERIFY(!QFile::exists(out("none")));
    }

    void twoShardsGiveWhatOneRunGives()
    {
        const QString log = dir.filePath("shards.log");
        QCOMPARE(runBatch({"--log", log, out("whole"), kTestDocs}).status, 1);
        QCOMPARE(runBatch({"--shard", "0/2", "--log", log, out("shards"), kTestDocs}).status, 1);
        QCOMPARE(runBatch({"--shard", "1/2", "--log", log, out("shards"), kTestDocs}).status, 1);
        const QStringList names = pictures(out("whole"));
        QVERIFY(names.size() > 20);
        QCOMPARE(pictures(out("shards")), names);
        for (const QString &name : names) {
            QFile a(out("whole") + "/" + name);
            QFile b(out("shards") + "/" + name);
            QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
            QVERIFY2(a.readAll() == b.readAll(), qPrintable(name));
        }
    }
};

QTEST_GUILESS_MAIN(tst_pagegrab_batch)
#include "tst_pagegrab_batch.moc"
