#include "joblist/FolderScan.h"
#include "platform/NativePath.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using joblist::listFolder;
using joblist::matchesMask;
using joblist::ScanFolder;

class tst_folderscan : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    QString root;

    void touch(const QString &relative)
    {
        const QString path = root + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

private slots:
    void initTestCase()
    {
        // root/        a.doc  B.DOC  .hidden.doc  .doc  doc  x.docx  x.dot  notes.txt
        // root/sub/    c.doc
        // root/sub/deep/ d.Doc
        // root/.secret/ e.doc
        // root/loop -> root (a link back to an ancestor)
        // root/sub/deep/up -> root/sub (another)
        // root/other/ f.doc, and a name in the GBK code page (not UTF-8)
        // root/also -> root/other (a link to a sibling: entered)
        root = tmp.path() + "/";
        for (const char *f : {"a.doc", "B.DOC", ".hidden.doc", ".doc", "doc", "x.docx", "x.dot", "notes.txt",
                              "sub/c.doc", "sub/deep/d.Doc", ".secret/e.doc", "other/f.doc"})
            touch(f);
        QVERIFY(QFile::link(tmp.path(), root + "loop"));
        QVERIFY(QFile::link(root + "sub", root + "sub/deep/up"));
        QVERIFY(QFile::link(root + "other", root + "also"));
        const QByteArray gbk = QFile::encodeName(root) + "other/\xb1\xa8\xb8\xe6.doc";
        const int fd = open(gbk.constData(), O_CREAT | O_WRONLY, 0644);
        QVERIFY(fd >= 0);
        close(fd);
    }

    // The links first, as removing the folder goes through links to
    // folders; and the name Qt cannot read back.
    void cleanupTestCase()
    {
        for (const char *link : {"loop", "sub/deep/up", "also"})
            QVERIFY(QFile::remove(root + link));
        QCOMPARE(unlink(QFile::encodeName(root) + "other/\xb1\xa8\xb8\xe6.doc"), 0);
    }

    void maskComparesTheLastFourCharacters()
    {
        QVERIFY(matchesMask("report.DOC", "*.doc"));
        QVERIFY(matchesMask(".doc", "*.doc"));
        QVERIFY(!matchesMask("doc", "*.doc"));
        QVERIFY(!matchesMask("x.docx", "*.doc"));
        QVERIFY(!matchesMask("x.dot", "*.doc"));
        QVERIFY(matchesMask("x.ppt", "*.ppt"));
    }

    void oneLevelTakesHiddenFilesAndEntersNothing()
    {
        QStringList found;
        listFolder(found, tmp.path(), "*.doc");
        found.sort();
        QCOMPARE(found, (QStringList{root + ".doc", root + ".hidden.doc", root + "B.DOC", root + "a.doc"}));
        QStringList again;
        listFolder(again, root, "*.doc");
        again.sort();
        QCOMPARE(again, found);
    }

    void scanIsDepthFirstWithAFoldersOwnFilesFirst()
    {
        QString folder = tmp.path();
        QStringList found;
        ScanFolder(found, folder, "*.doc");
        QCOMPARE(folder, root);

        // Each real folder is entered once: not through a link back to an
        // ancestor, and the sibling reached as "other" and as "also" under
        // whichever name comes first. A name that is not UTF-8 keeps its
        // bytes.
        const QString gbk = platform::fromNativePath("\xb1\xa8\xb8\xe6.doc");
        const QString sibling = found.contains(root + "also/f.doc") ? "also/" : "other/";
        QStringList sorted = found;
        sorted.sort();
        QStringList expected{root + ".doc",        root + ".hidden.doc", root + ".secret/e.doc",
                             root + "B.DOC",       root + "a.doc",       root + sibling + "f.doc",
                             root + sibling + gbk, root + "sub/c.doc",   root + "sub/deep/d.Doc"};
        expected.sort();
        QCOMPARE(sorted, expected);
        QCOMPARE(platform::toNativePath(root + "other/" + gbk), QFile::encodeName(root) + "other/\xb1\xa8\xb8\xe6.doc");
        // The root's own files come first, and a subfolder's subtree is whole.
        for (int i = 0; i < 4; ++i)
            QVERIFY2(!found[i].mid(root.size()).contains('/'), qPrintable(found[i]));
        QCOMPARE(found.indexOf(root + "sub/deep/d.Doc"), found.indexOf(root + "sub/c.doc") + 1);
    }

    void linksCostLinearTimeAndListADocumentOnce()
    {
        // 30 folders, each with two links to the next: 2^30 paths to the
        // last one's document, which is listed once.
        QTemporaryDir diamond;
        for (int i = 0; i < 30; ++i) {
            QVERIFY(QDir().mkpath(diamond.filePath(QString::number(i))));
            for (const char *link : {"/left", "/right"})
                QVERIFY(
                    QFile::link(diamond.filePath(QString::number(i + 1)), diamond.filePath(QString::number(i) + link)));
        }
        QVERIFY(QDir().mkpath(diamond.filePath("30")));
        QFile last(diamond.filePath("30/last.doc"));
        QVERIFY(last.open(QIODevice::WriteOnly));
        QString folder = diamond.filePath("0");
        QStringList found;
        ScanFolder(found, folder, "*.doc");
        QCOMPARE(found.size(), 1);
        QVERIFY(found[0].endsWith("/last.doc"));
        for (int i = 0; i < 30; ++i)
            for (const char *link : {"/left", "/right"})
                QFile::remove(diamond.filePath(QString::number(i) + link));
    }

    void missingFolderAddsNothing()
    {
        QString folder = root + "no-such-folder";
        QStringList found;
        ScanFolder(found, folder, "*.doc");
        listFolder(found, root + "no-such-folder", "*.doc");
        QVERIFY(found.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_folderscan)
#include "tst_folderscan.moc"
