#include "support/Emf.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

// Runs `attack` in a child process as the user nobody; its pid.
template <class F>
pid_t asNobody(F attack)
{
    const pid_t child = fork();
    if (child == 0) {
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0)
            _exit(1);
        attack();
        _exit(0);
    }
    return child;
}

template <class F>
bool asNobodyDone(F attack)
{
    int status = 0;
    return waitpid(asNobody(attack), &status, 0) > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Ran {
    int status;
    QString said; // standard error
};

// pagegrab-batch, through `refuse` where a system refusal is wanted.
Ran runBatch(const QString &refusal, const QStringList &arguments, const QString &tempFolder = {})
{
    QProcess batch;
    if (!tempFolder.isEmpty()) {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", tempFolder);
        environment.remove("XDG_RUNTIME_DIR");
        batch.setProcessEnvironment(environment);
    }
    if (refusal.isEmpty())
        batch.start(PAGEGRAB_BATCH, arguments);
    else
        batch.start(REFUSE, QStringList{refusal, PAGEGRAB_BATCH} + arguments);
    // Stopped as a user stops it, a run that takes too long ends its offices.
    if (!batch.waitForFinished(300000)) {
        batch.terminate();
        batch.waitForFinished(30000);
    }
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
    QString relative;

private slots:
    void initTestCase()
    {
        QImage image(40, 40, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(secrets.filePath("secret.png")));
        document = dir.filePath("linked.doc");
        QFile doc(document);
        QVERIFY(doc.open(QIODevice::WriteOnly));
        doc.write("<html><body><p>Linked</p><img src=\""
                  + QUrl::fromLocalFile(secrets.filePath("secret.png")).toEncoded() + "\"></body></html>");
        // The same picture, named relative to a document beside it.
        relative = secrets.filePath("relative.doc");
        QFile beside(relative);
        QVERIFY(beside.open(QIODevice::WriteOnly));
        beside.write("<html><body><p>Linked</p><img src=\"secret.png\"></body></html>");
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
        QVERIFY2(ran.said.contains("pagegrab-batch：警告：文档未被隔离：文档可以访问网络：系统拒绝命名空间"),
                 qPrintable(ran.said));
        QVERIFY(!emfDrawsBitmap(readAll(dir.filePath("no-namespaces/linked-1.emf"))));

        // Without Landlock the run says documents may read other files. The
        // office itself no longer follows these links from a document it
        // knows by its own name, neither the absolute one nor one relative
        // to the document.
        ran = runBatch("landlock", {"--log", log, dir.filePath("no-landlock"), document, relative});
        QCOMPARE(ran.status, 0);
        QVERIFY2(ran.said.contains("警告：文档未被隔离：文档可以读取用户能读取的任何文件：内核不提供Landlock"),
                 qPrintable(ran.said));
        QVERIFY(!emfDrawsBitmap(readAll(dir.filePath("no-landlock/linked-1.emf"))));
        QVERIFY(!emfDrawsBitmap(readAll(dir.filePath("no-landlock/relative-1.emf"))));

        // A server that must not run unconfined does not.
        for (const QString refusal : {"namespaces", "landlock"}) {
            ran = runBatch(refusal, {"--confined", "--log", log, dir.filePath("strict-" + refusal), document});
            QCOMPARE(ran.status, 2);
            QVERIFY2(ran.said.contains("pagegrab-batch：文档无法隔离，不处理："), qPrintable(ran.said));
            QVERIFY(!QFile::exists(dir.filePath("strict-" + refusal + "/linked-1.emf")));
        }
        ran = runBatch({}, {"--confined", "--log", log, dir.filePath("strict"), document});
        QCOMPARE(ran.status, 0);
    }

    // Each office leaves two pipes' sockets, a profile and its temporary
    // files: after a run of over a hundred documents, none of them stays, in
    // its own temporary folder or, where it cannot have one, in /tmp.
    void manyDocumentsLeaveNothingBehind_data()
    {
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<int>("count");
        QTest::newRow("own temporary folder") << QString() << 120;
        QTest::newRow("shared /tmp") << QStringLiteral("namespaces") << 40;
    }

    void manyDocumentsLeaveNothingBehind()
    {
        QFETCH(QString, refusal);
        QFETCH(int, count);
        QTemporaryDir many;
        for (int i = 0; i < count; ++i) {
            QFile tiny(many.filePath(QStringLiteral("tiny%1.doc").arg(i)));
            QVERIFY(tiny.open(QIODevice::WriteOnly) && tiny.write("{\\rtf1\\ansi Tiny\\par}") > 0);
        }
        QTemporaryDir temp;
        const auto sockets = [] { return QDir("/tmp").entryList({"OSL_PIPE_*"}, QDir::System); };
        const QStringList before = sockets();
        const Ran ran = runBatch(
            refusal,
            {"--jobs", "2", "--log", dir.filePath("many.log"), "--", dir.filePath("many-" + refusal), many.path()},
            temp.path());
        QVERIFY2(ran.status == 0, qPrintable(ran.said.right(500)));
        QCOMPARE(QDir(dir.filePath("many-" + refusal)).entryList({"*.emf"}, QDir::Files).size(), count);
        QCOMPARE(sockets(), before);
        QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{});
    }

    void aTemporaryFolderThatCannotBeMadeIsSaid()
    {
        const Ran ran = runBatch({}, {"--log", dir.filePath("proc.log"), "--", dir.filePath("proc"), document},
                                 "/proc");
        QCOMPARE(ran.status, 1);
        QVERIFY2(ran.said.contains("无法创建临时文件夹：/proc/pagegrab-"), qPrintable(ran.said));
    }

    // A second user plants names where a root run keeps its temporary
    // files: a link in place of the folder, a folder of dead runs with links
    // to the victim's folder, one swapped with a link while the run cleans
    // up. The victim's files stay.
    void anotherUserCannotTurnTheCleanupAgainstUs()
    {
        if (geteuid() != 0)
            QSKIP("needs root, to be the run another user attacks");
        QTemporaryDir shared;
        QVERIFY(chmod(QFile::encodeName(shared.path()).constData(), 01777) == 0);
        QTemporaryDir victim;
        for (const char *name : {"a", "b", "c"}) {
            QFile file(victim.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("mine") == 4);
        }
        const QByteArray base = QFile::encodeName(shared.filePath("pagegrab-0"));
        const QByteArray target = QFile::encodeName(victim.path());
        const QString log = dir.filePath("attacked.log");

        QVERIFY(asNobodyDone([&] { (void)!symlink(target.constData(), base.constData()); }));
        QCOMPARE(runBatch({}, {"--log", log, dir.filePath("attacked"), document}, shared.path()).status, 0);
        QCOMPARE(QDir(victim.path()).entryList(QDir::Files), (QStringList{"a", "b", "c"}));

        QVERIFY(unlink(base.constData()) == 0);
        const QByteArray dead = base + "/1-AAAAAA";
        QVERIFY(asNobodyDone([&] {
            (void)!mkdir(base.constData(), 0777);
            (void)!mkdir(dead.constData(), 0700);
            close(open((dead + "/.owner").constData(), O_CREAT | O_WRONLY, 0600));
            (void)!symlink(target.constData(), (dead + "/link").constData());
            (void)!mkdir((dead + "/swap").constData(), 0700);
            (void)!symlink(target.constData(), (dead + "/swap-link").constData());
        }));
        const pid_t swapper = asNobody([&] {
            for (int i = 0; i < 2000000; ++i)
                renameat2(AT_FDCWD, (dead + "/swap").constData(), AT_FDCWD, (dead + "/swap-link").constData(),
                          RENAME_EXCHANGE);
        });
        for (int run = 0; run < 3; ++run)
            QCOMPARE(runBatch({}, {"--log", log, dir.filePath("attacked"), document}, shared.path()).status, 0);
        ::kill(swapper, SIGKILL);
        waitpid(swapper, nullptr, 0);
        QCOMPARE(QDir(victim.path()).entryList(QDir::Files), (QStringList{"a", "b", "c"}));
        // The planted names are not ours, so they are left as they are.
        QVERIFY(QFile::exists(QFile::decodeName(dead + "/link")));
    }
};

QTEST_GUILESS_MAIN(tst_confinement)
#include "tst_confinement.moc"
