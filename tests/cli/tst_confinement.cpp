#include "support/Emf.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

struct Ran {
    int status;
    QString said; // standard error
};

// pagegrab-batch, through `refuse` where a system refusal is wanted.
Ran runBatch(const QString &refusal, const QStringList &arguments)
{
    QProcess batch;
    if (refusal.isEmpty())
        batch.start(PAGEGRAB_BATCH, arguments);
    else
        batch.start(REFUSE, QStringList{refusal, PAGEGRAB_BATCH} + arguments);
    batch.waitForFinished(120000);
    return {batch.exitStatus() == QProcess::NormalExit ? batch.exitCode() : -1,
            QString::fromUtf8(batch.readAllStandardError())};
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Where the system refuses a layer of the confinement, the run says so and,
// when asked to, does not run; the layers that do hold still protect.
class tst_confinement : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QTemporaryDir secrets{"/tmp/pagegrab-secret-XXXXXX"};
    QString document;

private slots:
    void initTestCase()
    {
        QImage image(40, 40, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(secrets.filePath("secret.png")));
        document = dir.filePath("linked.doc");
        QFile doc(document);
        QVERIFY(doc.open(QIODevice::WriteOnly));
        doc.write("<html><body><p>Linked</p><img src=\"" + QUrl::fromLocalFile(secrets.filePath("secret.png")).toEncoded()
                  + "\"></body></html>");
    }

    void refusedLayersAreSaidAndTheRestHolds()
    {
        const QString log = dir.filePath("run.log");
        Ran ran = runBatch({}, {"--log", log, dir.filePath("confined"), document});
        QVERIFY2(ran.status == 0, qPrintable(ran.said + readAll(log)));
        QVERIFY2(!ran.said.contains("隔离"), qPrintable(ran.said));

        // Without namespaces the network is not closed off; the files are.
        ran = runBatch("namespaces", {"--log", log, dir.filePath("no-namespaces"), document});
        QCOMPARE(ran.status, 0);
        QVERIFY2(ran.said.contains("pagegrab-batch：警告：文档未被隔离：documents may reach the network: the system "
                                   "refuses namespaces"),
                 qPrintable(ran.said));
        QVERIFY(!emfDrawsBitmap(readAll(dir.filePath("no-namespaces/linked-1.emf"))));

        // Without Landlock the document reads the file, and the run says it may.
        ran = runBatch("landlock", {"--log", log, dir.filePath("no-landlock"), document});
        QCOMPARE(ran.status, 0);
        QVERIFY2(ran.said.contains("警告：文档未被隔离：documents may read any file the user can read: the kernel does "
                                   "not offer Landlock"),
                 qPrintable(ran.said));
        QVERIFY(emfDrawsBitmap(readAll(dir.filePath("no-landlock/linked-1.emf"))));

        // A server that must not run unconfined does not.
        for (const QString &refusal : {"namespaces", "landlock"}) {
            ran = runBatch(refusal, {"--confined", "--log", log, dir.filePath("strict-" + refusal), document});
            QCOMPARE(ran.status, 2);
            QVERIFY2(ran.said.contains("pagegrab-batch：文档无法隔离，不处理："), qPrintable(ran.said));
            QVERIFY(!QFile::exists(dir.filePath("strict-" + refusal + "/linked-1.emf")));
        }
        ran = runBatch({}, {"--confined", "--log", log, dir.filePath("strict"), document});
        QCOMPARE(ran.status, 0);
    }
};

QTEST_GUILESS_MAIN(tst_confinement)
#include "tst_confinement.moc"
