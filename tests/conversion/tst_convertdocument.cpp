#include "conversion/ConvertDocument.h"
#include "support/ScriptedOffice.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using conversion::ConvertDocument;
using conversion::DocumentJob;
using conversion::PageRange;

class tst_convertdocument : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString out;
    QString log;

    DocumentJob job(const QString &name, std::optional<PageRange> range = std::nullopt)
    {
        return {"/docs/" + name, out, log, range};
    }

    QStringList written() const { return QDir(out).entryList(QDir::Files, QDir::Name); }

    QStringList logLines() const
    {
        QFile f(log);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split("\r\n", Qt::SkipEmptyParts);
    }

private slots:
    void init()
    {
        const QString run = QString::number(QRandomGenerator::global()->generate());
        out = dir.filePath("out-" + run) + "/";
        QDir().mkpath(out);
        log = dir.filePath("run-" + run + ".log");
    }

    void allPagesInTheOfficesOrder()
    {
        OfficeScript office;
        office.pages = 3;
        QVERIFY(!ConvertDocument(job("report.doc"), scriptedOffice(office)).failed());
        QCOMPARE(office.calls,
                 (QStringList{"grammarAsYouType 0", "grammarWithSpelling 0", "open /docs/report.doc", "select",
                              "collapse", "next from 1", "range 0 1", "copy 1", "next from 2", "range 1 2", "copy 2",
                              "next from 3", "range 2 3", "copy 3", "close", "quit"}));
        QCOMPARE(written(), (QStringList{"report-1.emf", "report-2.emf", "report-3.emf"}));
        QFile page2(out + "report-2.emf");
        QVERIFY(page2.open(QIODevice::ReadOnly));
        QCOMPARE(page2.readAll(), scriptedPicture(2));
        QVERIFY(!QFile::exists(log));
        QCOMPARE(office.instancesStarted, 1);
        QCOMPARE(office.instancesQuit, 1);
    }

    void rangeStopsAfterItsLastPage()
    {
        OfficeScript office;
        office.pages = 5;
        QVERIFY(!ConvertDocument(job("five.doc", PageRange{2, 3}), scriptedOffice(office)).failed());
        QCOMPARE(written(), (QStringList{"five-2.emf", "five-3.emf"}));
        QVERIFY(!office.calls.contains("copy 1"));
        QVERIFY(!office.calls.contains("next from 4"));
        QCOMPARE(office.calls.mid(office.calls.size() - 2), (QStringList{"close", "quit"}));
    }

    void rangeBeyondTheDocumentWritesNothing()
    {
        OfficeScript office;
        office.pages = 3;
        QVERIFY(!ConvertDocument(job("three.doc", PageRange{4, 9}), scriptedOffice(office)).failed());
        QCOMPARE(written(), QStringList{});
        QVERIFY(!QFile::exists(log));
    }

    void rangeZeroToZeroIsTheFirstPage()
    {
        OfficeScript office;
        office.pages = 3;
        QVERIFY(!ConvertDocument(job("z.doc", PageRange{0, 0}), scriptedOffice(office)).failed());
        QCOMPARE(written(), QStringList{"z-1.emf"});
    }

    void lastBoundBeyondTheEndStopsAtTheEnd()
    {
        OfficeScript office;
        office.pages = 2;
        QVERIFY(!ConvertDocument(job("two.doc", PageRange{1, 30000}), scriptedOffice(office)).failed());
        QCOMPARE(written(), (QStringList{"two-1.emf", "two-2.emf"}));
    }

    void failedPageMoveTakesTheRestAsOnePage()
    {
        OfficeScript office;
        office.pages = 4;
        office.nextPageFailsOnPage = {2};
        QVERIFY(ConvertDocument(job("moves.doc"), scriptedOffice(office)).log.written);
        QCOMPARE(written(), (QStringList{"moves-1.emf", "moves-2.emf"}));
        QVERIFY(office.calls.contains("range 1 4"));
        QCOMPARE(office.calls.mid(office.calls.size() - 2), (QStringList{"close", "quit"}));
        const QStringList lines = logLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].endsWith("处理/docs/moves.doc处错：the page move failed"));
    }

    void failedOpenLogsOneLineAndStillQuits()
    {
        OfficeScript office;
        office.openFailure = "无法打开文档：文档有密码保护";
        QVERIFY(ConvertDocument(job("locked.doc"), scriptedOffice(office)).log.written);
        QCOMPARE(written(), QStringList{});
        QVERIFY(!office.calls.contains("select"));
        QVERIFY(!office.calls.contains("close"));
        QCOMPARE(office.calls.last(), "quit");
        const QStringList lines = logLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].endsWith("处错：无法打开文档：文档有密码保护"));
    }

    void lastFailureWinsAndOtherPagesStillConvert()
    {
        OfficeScript office;
        office.pages = 4;
        office.copyFailsOnPage = {{1, "first failure"}, {3, "later failure"}};
        QVERIFY(ConvertDocument(job("mixed.doc"), scriptedOffice(office)).log.written);
        QCOMPARE(written(), (QStringList{"mixed-2.emf", "mixed-4.emf"}));
        const QStringList lines = logLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines[0].endsWith("处错：later failure"));
    }

    void fileNameWithoutADotGetsNoFilesAndOneLine()
    {
        OfficeScript office;
        office.pages = 2;
        QVERIFY(ConvertDocument(job("README"), scriptedOffice(office)).log.written);
        QCOMPARE(written(), QStringList{});
        QCOMPARE(logLines().size(), 1);
        QVERIFY(logLines()[0].contains("没有扩展名"));
    }

    void unwritableOutputIsLoggedWithTheSystemsMessage()
    {
        OfficeScript office;
        DocumentJob j = job("a.doc");
        j.outputFolder = dir.filePath("missing-folder") + "/";
        QVERIFY(ConvertDocument(j, scriptedOffice(office)).log.written);
        QCOMPARE(logLines().size(), 1);
        QVERIFY2(logLines()[0].contains("无法写入" + j.outputFolder + "a-1.emf："), qPrintable(logLines()[0]));
    }

    void fullDiskKeepsTheEarlierPictureAndSaysWhy()
    {
        // A real file system that is nearly full: a small tmpfs as root,
        // otherwise a file size limit.
        QTemporaryDir small;
        const QByteArray mountPoint = QFile::encodeName(small.path());
        const bool mounted = geteuid() == 0 && mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=64k") == 0;
        rlimit before{};
        getrlimit(RLIMIT_FSIZE, &before);
        struct Restore {
            bool mounted;
            const QByteArray &mountPoint;
            rlimit limit;
            ~Restore() { mounted ? umount2(mountPoint.constData(), MNT_DETACH) : setrlimit(RLIMIT_FSIZE, &limit); }
        } restore{mounted, mountPoint, before};
        if (!mounted) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limited = before;
            limited.rlim_cur = 48 * 1024;
            setrlimit(RLIMIT_FSIZE, &limited);
        }
        const QString folder = small.path() + "/";
        QFile earlier(folder + "big-1.emf");
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write(QByteArray(8000, 'e'));
        earlier.close();

        OfficeScript office;
        office.pictureBytes = 60 * 1024;
        DocumentJob j = job("big.doc");
        j.outputFolder = folder;
        const auto outcome = ConvertDocument(j, scriptedOffice(office));
        QVERIFY(outcome.log.written);
        QVERIFY2(outcome.failure.contains(mounted ? "No space left on device" : "File too large"),
                 qPrintable(outcome.failure));
        QCOMPARE(logLines().size(), 1);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"big-1.emf"});
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray(8000, 'e'));
    }

    void damagedDocumentGivesItsPagesAndOneLine()
    {
        OfficeScript office;
        office.pages = 2;
        office.damage = "文档已损坏：文件被截短";
        const auto outcome = ConvertDocument(job("cut.doc"), scriptedOffice(office));
        QCOMPARE(outcome.failure, office.damage);
        QCOMPARE(written(), (QStringList{"cut-1.emf", "cut-2.emf"}));
        QCOMPARE(logLines().size(), 1);
    }

    void existingPicturesAreReplaced()
    {
        OfficeScript office;
        QFile old(out + "a-1.emf");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(1000, 'x'));
        old.close();
        QVERIFY(!ConvertDocument(job("a.doc"), scriptedOffice(office)).failed());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), scriptedPicture(1));
    }

    void picturesAreNoMoreReadableThanTheirDocument()
    {
        // A run as root over users' files: a private document's pictures
        // stay private, and nothing becomes executable.
        struct Cases {
            mode_t document, umask, picture;
        };
        const QList<Cases> cases{{0600, 022, 0600}, {0400, 022, 0400}, {0640, 022, 0640},
                                 {0666, 022, 0644}, {0755, 022, 0644}, {0644, 077, 0600}};
        struct RestoreUmask {
            mode_t before = umask(022);
            ~RestoreUmask() { umask(before); }
        } restore;
        for (const auto &c : cases) {
            umask(c.umask);
            OfficeScript office;
            office.pages = 2;
            office.permissions = c.document;
            const QString stem = QStringLiteral("m%1-%2").arg(c.document, 0, 8).arg(c.umask, 0, 8);
            // An earlier picture that anyone could read is replaced, not reused.
            QFile earlier(out + stem + "-1.emf");
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            earlier.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
            earlier.close();
            QVERIFY(!ConvertDocument(job(stem + ".doc"), scriptedOffice(office)).failed());
            for (const QString page : {"-1.emf", "-2.emf"}) {
                struct stat info {};
                QCOMPARE(stat(QFile::encodeName(out + stem + page).constData(), &info), 0);
                QCOMPARE(info.st_mode & 07777, c.picture);
            }
        }
    }

    // A setgid output folder hands its group to every file made in it; a
    // picture takes its document's group instead, or where we may not give
    // it that one, its group's bits become everyone's.
    void aSetgidFoldersGroupReadsNoPictureItCouldNotReadTheDocumentOf()
    {
        const passwd *nobody = getpwnam("nobody");
        if (!nobody)
            QSKIP("needs a user nobody");
        const gid_t folderGroup = geteuid() == 0 ? nobody->pw_gid : getegid();
        QVERIFY(chown(QFile::encodeName(out).constData(), -1, folderGroup) == 0);
        QVERIFY(chmod(QFile::encodeName(out).constData(), 02770) == 0);
        OfficeScript office;
        office.permissions = 0640;
        office.group = folderGroup == 0 ? 1 : 0;
        QVERIFY(!ConvertDocument(job("private.doc"), scriptedOffice(office)).failed());
        struct stat picture {};
        QCOMPARE(stat(QFile::encodeName(out + "private-1.emf").constData(), &picture), 0);
        if (geteuid() == 0)
            QCOMPARE(picture.st_gid, office.group);
        QVERIFY(picture.st_gid == office.group || (picture.st_mode & 070) == 0);
        QCOMPARE(picture.st_mode & 0707, mode_t(0600));
    }

    void officeThatCannotStartIsLogged()
    {
        OfficeScript office;
        office.startFails = true;
        QVERIFY(ConvertDocument(job("a.doc"), scriptedOffice(office)).log.written);
        QCOMPARE(logLines().size(), 1);
        QVERIFY(logLines()[0].endsWith("处错：the office cannot be started"));
    }

    void everyCopiedPictureIsHandedOn()
    {
        OfficeScript office;
        office.pages = 3;
        QList<QByteArray> copied;
        ConvertDocument(job("c.doc", PageRange{2, 3}), scriptedOffice(office),
                        [&](const office::Picture &p) { copied << p.emf; });
        QCOMPARE(copied, (QList<QByteArray>{scriptedPicture(2), scriptedPicture(3)}));
    }
};

QTEST_GUILESS_MAIN(tst_convertdocument)
#include "tst_convertdocument.moc"
