#include "conversion/ConvertDocument.h"
#include "office/LibreOffice.h"
#include "platform/NativePath.h"
#include "support/Documents.h"
#include "support/Processes.h"
#include "support/Emf.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <unistd.h>

namespace {

const QString kTestDocs = QStringLiteral(PAGEGRAB_TESTDOCS);

int enginePageCount(const QString &path)
{
    auto app = office::startLibreOffice();
    auto doc = app->open(path);
    doc->select();
    const int pages = app->selectionEnd();
    doc->close();
    app->quit();
    return pages;
}

} // namespace

class tst_convert_office : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString freshFolder(const QString &name)
    {
        const QString folder = dir.filePath(name) + "/";
        QDir().mkpath(folder);
        return folder;
    }

    QStringList logLines(const QString &log)
    {
        QFile f(log);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split("\r\n", Qt::SkipEmptyParts);
    }

    void expectValidPages(const QString &out, const QString &stem, int pages)
    {
        QStringList expected;
        for (int i = 1; i <= pages; ++i)
            expected << QStringLiteral("%1-%2.emf").arg(stem).arg(i);
        QStringList found = QDir(out).entryList({"*.emf"}, QDir::Files);
        std::sort(found.begin(), found.end());
        std::sort(expected.begin(), expected.end());
        QCOMPARE(found, expected);
        for (const QString &name : found) {
            QFile f(out + name);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY2(readEmfHeader(f.readAll()).valid, qPrintable(name));
        }
    }

private slots:
    void cleanup() { QTRY_COMPARE(officeChildren(), QList<int>{}); }

    void madeDocumentsGiveOnePicturePerPage()
    {
        const QString out = freshFolder("made");
        const QString log = dir.filePath("made.log");
        const office::ApplicationFactory start = [] { return office::startLibreOffice(); };
        QVERIFY(!conversion::ConvertDocument({documents::pages(dir.path(), "three.fodt", 3), out, log, {}}, start).failed());
        QVERIFY(!conversion::ConvertDocument({documents::tableAcrossPages(dir.path(), "table.fodt"), out, log, {}}, start).failed());
        QVERIFY(!conversion::ConvertDocument(
            {documents::chineseText(dir.path(), "中文 文档.fodt", "第一页"), out, log, {}}, start).failed());
        QVERIFY(!QFile::exists(log));
        QStringList all = QDir(out).entryList(QDir::Files, QDir::Name);
        QCOMPARE(all, (QStringList{"table-1.emf", "table-2.emf", "table-3.emf", "three-1.emf", "three-2.emf",
                                   "three-3.emf", "中文 文档-1.emf"}));

        // A range takes its pages by their place in the document.
        const QString ranged = freshFolder("ranged");
        QVERIFY(!conversion::ConvertDocument(
            {documents::pages(dir.path(), "five.fodt", 5), ranged, log, conversion::PageRange{2, 3}}, start).failed());
        QCOMPARE(QDir(ranged).entryList(QDir::Files, QDir::Name), (QStringList{"five-2.emf", "five-3.emf"}));
    }

    void realDocuments_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &name : documents::readableTestDocuments())
            QTest::newRow(qPrintable(name)) << name;
    }

    void realDocuments()
    {
        QFETCH(QString, name);
        const QString path = QDir(kTestDocs).filePath(name);
        const QString out = freshFolder(name);
        const QString log = dir.filePath(name + ".log");
        QVERIFY(!conversion::ConvertDocument({path, out, log, {}}, [] { return office::startLibreOffice(); }).failed());
        expectValidPages(out, QFileInfo(name).completeBaseName(), enginePageCount(path));
        QVERIFY(!QFile::exists(log));
    }

    void nameThatIsNotUtf8KeepsItsBytes()
    {
        // A Chinese name in the GBK code page, as archives made elsewhere unpack.
        const QString made = documents::pages(dir.path(), "gbk.fodt", 2);
        const QByteArray name = QFile::encodeName(dir.path()) + "/\xb1\xa8\xb8\xe6.doc";
        QCOMPARE(rename(QFile::encodeName(made).constData(), name.constData()), 0);
        const QString out = freshFolder("gbk");
        const QString log = dir.filePath("gbk.log");
        QVERIFY(!conversion::ConvertDocument({platform::fromNativePath(name), out, log, {}},
                                             [] { return office::startLibreOffice(); })
                     .failed());
        for (const char *page : {"1", "2"})
            QVERIFY(access(QFile::encodeName(out) + "\xb1\xa8\xb8\xe6-" + page + ".emf", R_OK) == 0);
    }

    void unreadableDocumentsGiveOneLineAndNoFiles()
    {
        const QString out = freshFolder("bad");
        const QString log = dir.filePath("bad.log");
        const office::ApplicationFactory start = [] { return office::startLibreOffice(); };
        QVERIFY(conversion::ConvertDocument({kTestDocs + "/PasswordProtected.doc", out, log, {}}, start).log.written);
        QVERIFY(conversion::ConvertDocument({kTestDocs + "/fuzzed-unreadable.doc", out, log, {}}, start).log.written);
        QVERIFY(conversion::ConvertDocument({dir.filePath("missing.doc"), out, log, {}}, start).log.written);
        QCOMPARE(QDir(out).entryList(QDir::Files), QStringList{});
        const QStringList lines = logLines(log);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].endsWith("处错：cannot open the document: the document is password-protected"));
        QVERIFY(lines[1].endsWith("处错：cannot open the document: the document is damaged and cannot be read"));
        QVERIFY(lines[2].endsWith("处错：the file does not exist"));
    }
};

QTEST_GUILESS_MAIN(tst_convert_office)
#include "tst_convert_office.moc"
