#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

const QString kTestDocs = QStringLiteral(PAGEGRAB_TESTDOCS);

struct Ran {
    int status;
    QString said;    // standard error
    QString printed; // standard output
};

Ran runBatch(const QStringList &arguments, const QString &workingFolder = {})
{
    QProcess batch;
    batch.setWorkingDirectory(workingFolder);
    batch.start(PAGEGRAB_BATCH, arguments);
    batch.waitForFinished(120000);
    return {batch.exitStatus() == QProcess::NormalExit ? batch.exitCode() : -1,
            QString::fromUtf8(batch.readAllStandardError()), QString::fromUtf8(batch.readAllStandardOutput())};
}

QStringList pictures(const QString &folder)
{
    return QDir(folder).entryList({"*.emf"}, QDir::Files, QDir::Name);
}

mode_t modeOf(const QString &path)
{
    struct stat info {};
    return stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList logLines(const QString &log)
{
    QFile file(log);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split("\r\n", Qt::SkipEmptyParts)
                                          : QStringList{};
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
        for (const auto &[from, to] : {std::pair{"simple.doc", "simple.doc"},
                                       {"simple-table.doc", "simple-table.doc"},
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

        // What cannot run: status 2, in the window's words where the window
        // says the same, no picture and no log line written.
        const QList<std::pair<QStringList, QString>> refused{
            {{out("none"), tree + "/empty"}, "没有需要处理的文档！"},
            {{"--from", "3", "--to", "2", "--log", log + ".none", out("none"), tree},
             "--from和--to须一起给出，且1≤N≤M（N为第一页，M为最后一页）：--from 3 --to 2"},
            {{"--from", "2", "--log", log + ".none", out("none"), tree}, "--from和--to须一起给出"},
            {{"--from", "0", "--to", "2", "--log", log + ".none", out("none"), tree}, "1≤N≤M"},
            {{"--shard", "2/2", out("none"), tree}, "分片"},
            {{"/proc/no/such/folder", tree}, "无法创建图片保存目录！/proc/no/such/folder/：No such file or directory"},
            {{"", tree}, "请输入图片保存目录！"},
            {{out("none")}, "没有需要处理的文档！"},
        };
        for (const auto &[arguments, says] : refused) {
            ran = runBatch(arguments);
            QCOMPARE(ran.status, 2);
            QVERIFY2(ran.said.contains(says), qPrintable(ran.said));
        }
        QCOMPARE(pictures(out("none")), QStringList{});
        QVERIFY(!QFile::exists(log + ".none"));
    }

    // Nothing named to convert: how to use the command, not one problem.
    void withoutArgumentsItSaysHowToUseIt()
    {
        for (const QStringList &arguments : {QStringList{}, QStringList{"-r", "--log", dir.filePath("unused.log")}}) {
            const Ran ran = runBatch(arguments);
            QCOMPARE(ran.status, 2);
            QCOMPARE(ran.said, "用法：pagegrab-batch [选项] [--] 图片保存目录 路径...\n"
                               "运行“pagegrab-batch --help”查看全部选项和说明。\n");
            QCOMPARE(ran.printed, QString());
        }
        QVERIFY(!QFile::exists(dir.filePath("unused.log")));
    }

    // All in the command's own words: none of Qt's stock options or lines.
    void helpIsOursAndChinese()
    {
        for (const QString asked : {"--help", "-h"}) {
            const Ran ran = runBatch({asked});
            QCOMPARE(ran.status, 0);
            QVERIFY2(ran.printed.startsWith("用法：pagegrab-batch [选项] [--] 图片保存目录 路径...\n"),
                     qPrintable(ran.printed));
            QVERIFY2(ran.printed.contains("\n  -h, --help       显示本帮助。\n"), qPrintable(ran.printed));
            QVERIFY2(ran.printed.contains("\n  --confined       只在文档完全隔离"), qPrintable(ran.printed));
            QVERIFY2(ran.printed.contains("\n  图片保存目录     图片保存目录。\n"), qPrintable(ran.printed));
            QVERIFY2(!ran.printed.contains("help-all") && !ran.printed.contains("Usage")
                         && !ran.printed.contains("Displays"),
                     qPrintable(ran.printed));
        }
        QCOMPARE(runBatch({"--help-all"}).status, 2);
    }

    void linksOfOthersLeadOnlyToWhatTheyCouldRead()
    {
        // Run as root on a server: another user's links in the job list.
        const passwd *nobody = getpwnam("nobody");
        if (geteuid() != 0 || !nobody)
            QSKIP("needs root and a user nobody");
        const QString top = dir.filePath("strangers");
        const QString log = dir.filePath("strangers.log");
        for (const QString &folder : {dir.path(), top, top + "/private", top + "/theirs"})
            QVERIFY(QDir().mkpath(folder) && chmod(QFile::encodeName(folder).constData(), 0755) == 0);
        QVERIFY(QDir().mkpath(top + "/closed") && chmod(QFile::encodeName(top + "/closed").constData(), 0700) == 0);
        for (const auto &[name, mode] :
             {std::pair{"private/secret.doc", 0600}, {"private/shared.doc", 0644}, {"closed/hidden.doc", 0644}}) {
            QVERIFY(QFile::copy(kTestDocs + "/simple.doc", top + "/" + name));
            QVERIFY(chmod(QFile::encodeName(top + "/" + name).constData(), mode) == 0);
        }
        // Relative and absolute targets, and a link to a folder on the way.
        const QByteArray hidden = QFile::encodeName(top + "/closed/hidden.doc");
        for (const auto &[link, target, theirs] : {std::tuple{"secret.doc", "../private/secret.doc", true},
                                                   {"folder", "../private", true},
                                                   {"shared.doc", "folder/shared.doc", true},
                                                   {"hidden.doc", hidden.constData(), true},
                                                   {"mine.doc", "../private/secret.doc", false}}) {
            const QByteArray path = QFile::encodeName(top + "/theirs/" + link);
            QVERIFY(symlink(target, path.constData()) == 0);
            if (theirs)
                QVERIFY(lchown(path.constData(), nobody->pw_uid, nobody->pw_gid) == 0);
        }

        const mode_t umaskBefore = umask(022);
        const Ran ran = runBatch({"--log", log, out("strangers"), top + "/theirs"});
        umask(umaskBefore);
        QCOMPARE(ran.status, 1);
        // Pictures as readable as the document: the private one's stay private.
        QCOMPARE(pictures(out("strangers")), (QStringList{"mine-1.emf", "shared-1.emf"}));
        QCOMPARE(modeOf(out("strangers") + "/mine-1.emf"), mode_t(0600));
        QCOMPARE(modeOf(out("strangers") + "/shared-1.emf"), mode_t(0644));
        const QStringList lines = logLines(log);
        QVERIFY2(lines.size() == 2, qPrintable(lines.join('\n')));
        const QString refused = QStringLiteral("处错：路径经过另一用户（uid %1）的链接，指向该用户不能读取的文件")
                                    .arg(nobody->pw_uid);
        for (const QString name : {"hidden.doc", "secret.doc"})
            QVERIFY2(lines.filter("/theirs/" + name + refused).size() == 1, qPrintable(lines.join('\n')));
    }

    void aShellsFileNamesNeverMakeADocumentTheLog()
    {
        // "pagegrab-batch OUT *.doc" in a folder where a stranger left a file
        // named "--log=notes.doc": the shell hands over the names as options.
        const QString folder = dir.filePath("shell");
        QVERIFY(QDir().mkpath(folder));
        for (const QString name : {"notes.doc", "--log=notes.doc"})
            QVERIFY(QFile::copy(kTestDocs + "/simple.doc", folder + "/" + name));
        const QByteArray document = contents(folder + "/notes.doc");

        Ran ran = runBatch({out("shell-pictures"), "--log=notes.doc", "notes.doc"}, folder);
        QCOMPARE(ran.status, 2);
        QVERIFY2(ran.said.contains("日志文件不是处理日志，不会写入：notes.doc"), qPrintable(ran.said));
        QVERIFY(!QFile::exists(out("shell-pictures")));
        QCOMPARE(contents(folder + "/notes.doc"), document);

        // After "--" every name is a path, whatever it looks like.
        const QString log = dir.filePath("shell.log");
        ran = runBatch({"--log", log, "--", out("shell-pictures"), "--log=notes.doc", "notes.doc"}, folder);
        QCOMPARE(ran.status, 0);
        QCOMPARE(pictures(out("shell-pictures")), (QStringList{"--log=notes-1.emf", "notes-1.emf"}));
        QCOMPARE(contents(folder + "/notes.doc"), document);
        QCOMPARE(contents(folder + "/--log=notes.doc"), document);
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

    // A shell's *.doc hands over names as bytes: one from a Windows archive
    // (GBK) and ones beyond U+FFFF convert as the folder scan's would, and
    // the log names each file from the root, a newline in a name written as
    // "\n".
    void namesOnTheCommandLineKeepTheirBytes()
    {
        const QString folder = dir.filePath("names");
        QVERIFY(QDir().mkpath(folder));
        const QByteArray gbk = QFile::encodeName(folder) + "/\xb1\xa8\xb8\xe6.doc";
        QVERIFY(QFile::copy(kTestDocs + "/simple.doc", QFile::decodeName(QFile::encodeName(folder) + "/plain.doc")));
        QVERIFY(::rename(QFile::encodeName(folder + "/plain.doc").constData(), gbk.constData()) == 0);
        for (const char *name : {"合同𠂀.doc", "💀.doc"})
            QVERIFY(QFile::copy(kTestDocs + "/simple.doc", folder + "/" + name));
        QFile beyond(folder + "/💀坏.doc");
        QVERIFY(beyond.open(QIODevice::WriteOnly) && beyond.write("not a document") > 0);
        beyond.close();
        QFile broken(folder + "/bad\nname.doc");
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a document") > 0);
        broken.close();

        QProcess batch;
        batch.setWorkingDirectory(folder);
        const QString log = dir.filePath("names.log");
        // Through a shell, as a user's *.doc would be expanded.
        batch.start("/bin/sh", {"-c", "exec \"$0\" --log \"$1\" -- out *.doc", PAGEGRAB_BATCH, log});
        QVERIFY(batch.waitForFinished(120000));
        QCOMPARE(batch.exitCode(), 1);
        const QByteArray picture = QFile::encodeName(folder) + "/out/\xb1\xa8\xb8\xe6-1.emf";
        QCOMPARE(::access(picture.constData(), F_OK), 0);
        for (const char *name : {"合同𠂀-1.emf", "💀-1.emf"})
            QVERIFY2(QFile::exists(folder + "/out/" + name), name);
        QFile written(log);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QString line = QString::fromUtf8(written.readAll());
        QVERIFY2(line.contains("\t处理" + folder + "/bad\\nname.doc处错："), qPrintable(line));
        QVERIFY2(line.contains("\t处理" + folder + "/💀坏.doc处错："), qPrintable(line));
        QCOMPARE(line.count("\r\n"), 2);
        // Qt cannot remove what it cannot name.
        QVERIFY(::unlink(gbk.constData()) == 0 && ::unlink(picture.constData()) == 0);
    }

    // A root run with its log and output folder in a folder another user
    // owns: that user's links lead nowhere that user could not write, and
    // a FIFO as the log is refused rather than waited on; the run goes on.
    void theLogAndOutputFolderGoOnlyWhereTheirLinksOwnerCouldWrite()
    {
        const QString fifo = dir.filePath("run.fifo");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QElapsedTimer clock;
        clock.start();
        Ran ran = runBatch({"--log", fifo, "--", out("fifo"), dir.filePath("missing.doc"), kTestDocs + "/simple.doc"});
        QCOMPARE(ran.status, 1);
        QVERIFY(clock.elapsed() < 100000);
        QVERIFY2(ran.said.contains("处理日志无法写入：" + fifo + "\n原因：不是普通文件，而是目录、管道、设备或套接字"),
                 qPrintable(ran.said));
        QCOMPARE(pictures(out("fifo")), QStringList{"simple-1.emf"});

        const passwd *nobody = getpwnam("nobody");
        if (geteuid() != 0 || !nobody)
            QSKIP("needs root and a user nobody");
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
        const QString pub = dir.filePath("pub");
        const QString rootOnly = dir.filePath("root-only");
        QVERIFY(QDir().mkpath(pub) && QDir().mkpath(rootOnly));
        QVERIFY(::chown(QFile::encodeName(pub).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
        QVERIFY(::chmod(QFile::encodeName(rootOnly).constData(), 0700) == 0);
        for (const char *name : {"profile", "simple-1.emf"}) {
            QFile mine(rootOnly + "/" + name);
            QVERIFY(mine.open(QIODevice::WriteOnly) && mine.write("mine\n") == 5);
            mine.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        }
        for (const auto &[target, name] :
             {std::pair{rootOnly + "/profile", pub + "/run.log"}, {rootOnly, pub + "/out"}}) {
            QVERIFY(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(name).constData()) == 0);
            QVERIFY(::lchown(QFile::encodeName(name).constData(), nobody->pw_uid, nobody->pw_gid) == 0);
        }
        ran = runBatch({"--log", pub + "/run.log", "--", pub + "/out", kTestDocs + "/simple.doc"});
        QCOMPARE(ran.status, 1);
        QVERIFY2(ran.said.contains(QStringLiteral("原因：路径经过另一用户（uid %1）的链接").arg(nobody->pw_uid)),
                 qPrintable(ran.said));
        QVERIFY2(ran.said.contains("处错：无法写入" + pub + "/out/simple-1.emf：路径经过另一用户"),
                 qPrintable(ran.said));
        QCOMPARE(contents(rootOnly + "/profile"), QByteArray("mine\n"));
        QCOMPARE(contents(rootOnly + "/simple-1.emf"), QByteArray("mine\n"));
        QCOMPARE(modeOf(rootOnly + "/simple-1.emf"), mode_t(0600));
        QCOMPARE(QDir(rootOnly).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    // A document swapped for a named pipe after the list was made would
    // block whoever opens it for reading: it is never opened.
    void aPipeInPlaceOfADocumentIsOneLineNotAHang()
    {
        const QString fifo = dir.filePath("pipe.doc");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString log = dir.filePath("pipe.log");
        const Ran ran = runBatch({"--log", log, "--", out("pipe"), fifo, kTestDocs + "/simple.doc"});
        QCOMPARE(ran.status, 1);
        QCOMPARE(pictures(out("pipe")), QStringList{"simple-1.emf"});
        QFile written(log);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(written.readAll()).endsWith("处理" + fifo + "处错：路径指向的不是文件\r\n"));
    }
};

QTEST_GUILESS_MAIN(tst_pagegrab_batch)
#include "tst_pagegrab_batch.moc"
