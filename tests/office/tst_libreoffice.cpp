#include "office/LibreOffice.h"
#include "office/Profile.h"
#include "support/Documents.h"
#include "support/Emf.h"
#include "support/OfficePdf.h"
#include "support/Processes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace std::chrono_literals;

namespace {

const QString kTestDocs = QStringLiteral(PAGEGRAB_TESTDOCS);

struct WalkedPage {
    office::Position start;
    office::Position end;
};

// The page walk as the conversion does it, collecting each page's range.
QList<WalkedPage> walk(office::Application &app, office::Document &doc)
{
    doc.select();
    office::Position pageStart = app.selectionStart();
    office::Position pageEnd = pageStart;
    const office::Position docEnd = app.selectionEnd();
    app.collapseSelectionToStart();
    QList<WalkedPage> pages;
    while (pageEnd < docEnd) {
        app.browseNextPage();
        pageEnd = app.selectionEnd();
        if (pageEnd == pageStart)
            pageEnd = docEnd;
        pages.append({pageStart, pageEnd});
        pageStart = app.selectionEnd();
    }
    return pages;
}

} // namespace

class tst_libreoffice : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    OfficeSockets sockets;

private slots:
    void init() { sockets.note(); }

    void cleanup()
    {
        // Whatever a test did, no office of ours outlives it.
        QTRY_COMPARE(officeChildren(), QList<int>{});
        sockets.removeNew();
    }

    // First, before any office of this session has run.
    void theTemplateComesFromAnOfficeThatOpenedNoDocument()
    {
        QVERIFY(!office::Profile::templateReady());
        auto first = office::startLibreOffice();
        const auto doc = first->open(kTestDocs + "/simple.doc");
        // A program with one office makes none.
        QVERIFY(!office::Profile::templateReady());
        // Nor is the first, with its document, the one that makes it: an
        // office that opened nothing has made it, and gone, when the second
        // has started.
        auto second = office::startLibreOffice();
        QVERIFY(office::Profile::templateReady());
        QCOMPARE(officeChildren().size(), 2);
        doc->close();
        first->quit();
        second->quit();
    }

    void pageWalkStaysPutOnTheLastPage()
    {
        auto app = office::startLibreOffice();
        app->setCheckGrammarAsYouType(false);
        app->setCheckGrammarWithSpelling(false);
        auto doc = app->open(documents::pages(dir.path(), "three.fodt", 3));
        doc->select();
        QCOMPARE(app->selectionStart(), 0);
        QCOMPARE(app->selectionEnd(), 3);
        app->collapseSelectionToStart();
        QCOMPARE(app->selectionEnd(), 0);
        app->browseNextPage();
        QCOMPARE(app->selectionEnd(), 1);
        app->browseNextPage();
        QCOMPARE(app->selectionEnd(), 2);
        app->browseNextPage();
        QCOMPARE(app->selectionStart(), 2);
        QCOMPARE(app->selectionEnd(), 2);
        doc->close();
        app->quit();
    }

    void picturesAreWholePagesAtTheirSize()
    {
        auto app = office::startLibreOffice();
        auto doc = app->open(documents::withLandscapePage(dir.path(), "landscape.fodt"));
        const auto pages = walk(*app, *doc);
        QCOMPARE(pages.size(), 3);
        const QList<QSize> sizes{{21000, 29700}, {29700, 21000}, {21000, 29700}};
        for (int i = 0; i < pages.size(); ++i) {
            const QByteArray emf = doc->range(pages[i].start, pages[i].end)->copy().emf;
            const EmfHeader h = readEmfHeader(emf);
            QVERIFY2(h.valid, qPrintable(QString("page %1").arg(i + 1)));
            // Edges are inclusive, and the office keeps page sizes in twips
            // (A4 is 21001.3 hundredths of a millimetre wide).
            QVERIFY2(qAbs(h.frame.width() - sizes[i].width()) <= 3, qPrintable(QString::number(h.frame.width())));
            QVERIFY2(qAbs(h.frame.height() - sizes[i].height()) <= 3, qPrintable(QString::number(h.frame.height())));
        }
        QVERIFY(emfContainsText(doc->range(1, 2)->copy().emf, "Landscape"));
        doc->close();
        app->quit();
    }

    void blankPagesHeadersAndWhatIsNotPrinted()
    {
        auto app = office::startLibreOffice();
        const QString path = documents::withBlankPage(dir.path(), "blank.fodt");
        auto doc = app->open(path);
        const auto pages = walk(*app, *doc);
        QCOMPARE(pages.size(), pdfPageCount(officePdf(path, dir.path())));
        QCOMPARE(pages.size(), 3);
        QList<QByteArray> pictures;
        for (const auto &page : pages)
            pictures << doc->range(page.start, page.end)->copy().emf;
        doc->close();
        app->quit();

        const QStringList first = emfTexts(pictures[0]);
        for (const char *text : {"Header text", "First page", "Footer text"})
            QVERIFY2(first.join(' ').contains(text), qPrintable(first.join('|')));
        // Comments and hidden text stay out of the page, which keeps its frame.
        auto other = office::startLibreOffice();
        const QString marked = documents::withCommentHiddenTextAndField(dir.path(), "marked.fodt");
        auto markedDoc = other->open(marked);
        QCOMPARE(walk(*other, *markedDoc).size(), 1);
        const QByteArray markedPage = markedDoc->range(0, 1)->copy().emf;
        markedDoc->close();
        other->quit();
        const QString markedText = emfTexts(markedPage).join(' ');
        QVERIFY2(markedText.contains("Shown") && markedText.contains("Field value"), qPrintable(markedText));
        QVERIFY2(!markedText.contains("Comment") && !markedText.contains("Hidden"), qPrintable(markedText));
        QVERIFY(qAbs(readEmfHeader(markedPage).frame.width() - 21000) <= 3);

        const EmfHeader blank = readEmfHeader(pictures[1]);
        QVERIFY(blank.valid);
        QVERIFY(qAbs(blank.frame.width() - 21000) <= 3 && qAbs(blank.frame.height() - 29700) <= 3);
        QCOMPARE(emfTexts(pictures[1]), QStringList{});
        QVERIFY(emfTexts(pictures[2]).join(' ').contains("After the blank page"));
    }

    void everyPageCarriesTheTextOfTheOfficesOwnPage()
    {
        for (const QString &path :
             {documents::pages(dir.path(), "words.fodt", 4), documents::tableAcrossPages(dir.path(), "rows.fodt"),
              documents::withBlankPage(dir.path(), "blank-words.fodt")}) {
            officePdf(path, dir.path());
            const auto expected = pdfPageWords(dir.filePath(QFileInfo(path).completeBaseName() + ".pdf"));
            auto app = office::startLibreOffice();
            auto doc = app->open(path);
            const auto pages = walk(*app, *doc);
            QCOMPARE(pages.size(), expected.size());
            for (int i = 0; i < pages.size(); ++i) {
                QStringList words = emfTexts(doc->range(pages[i].start, pages[i].end)->copy().emf)
                                        .join(' ')
                                        .split(' ', Qt::SkipEmptyParts);
                words.sort();
                QCOMPARE(words, expected[i]);
            }
            doc->close();
            app->quit();
        }
    }

    void tableAcrossPagesAndChineseText()
    {
        auto app = office::startLibreOffice();
        auto table = app->open(documents::tableAcrossPages(dir.path(), "table.fodt"));
        const auto pages = walk(*app, *table);
        QCOMPARE(pages.size(), 3);
        // The rows on the second page are drawn there, as text.
        const QByteArray second = table->range(pages[1].start, pages[1].end)->copy().emf;
        QVERIFY(readEmfHeader(second).valid);
        QVERIFY(emfContainsText(second, "Row 70") || emfContainsText(second, "Value 70"));
        table->close();

        auto chinese = app->open(documents::chineseText(dir.path(), "中文.fodt", "页面转换为图片"));
        const auto one = walk(*app, *chinese);
        QCOMPARE(one.size(), 1);
        QVERIFY(emfContainsText(chinese->range(one[0].start, one[0].end)->copy().emf, "页面转换为图片"));
        chinese->close();
        app->quit();
    }

    void realDocumentsMatchTheOfficesOwnPageCount_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &name : documents::readableTestDocuments())
            QTest::newRow(qPrintable(name)) << name;
    }

    void realDocumentsMatchTheOfficesOwnPageCount()
    {
        QFETCH(QString, name);
        const QString path = QDir(kTestDocs).filePath(name);
        auto app = office::startLibreOffice();
        auto doc = app->open(path);
        const auto pages = walk(*app, *doc);
        for (const auto &page : pages) {
            const EmfHeader h = readEmfHeader(doc->range(page.start, page.end)->copy().emf);
            QVERIFY(h.valid);
            QVERIFY(h.records > 2);
        }
        doc->close();
        app->quit();
        QCOMPARE(pages.size(), pdfPageCount(officePdf(path, dir.path())));
    }

    void documentFacesResolveToMetricCompatibleAndChineseFaces()
    {
        const QString document = documents::inFaces(dir.path(), "faces.fodt",
                                                    {"Times New Roman", "Arial", "Calibri", "宋体", "黑体", "楷体"});
        const QStringList embedded = pdfFontNames(officePdf(document, dir.path()));
        for (const char *face :
             {"LiberationSerif", "LiberationSans", "Carlito", "UMingCN", "WenQuanYiMicroHei", "UKaiCN"})
            QVERIFY2(embedded.contains(face), qPrintable(embedded.join(", ")));
    }

    void unreadableDocumentsFailFastAndClearly_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("says");
        QTest::newRow("encrypted") << kTestDocs + "/PasswordProtected.doc"
                                   << "文档有密码保护";
        QTest::newRow("damaged") << kTestDocs + "/fuzzed-unreadable.doc"
                                 << "文档已损坏";
        QTest::newRow("missing") << dir.filePath("missing.doc") << "文件不存在";
        QTest::newRow("folder") << dir.path() << "路径指向的不是文件";
    }

    void unreadableDocumentsFailFastAndClearly()
    {
        QFETCH(QString, path);
        QFETCH(QString, says);
        auto app = office::startLibreOffice();
        QElapsedTimer timer;
        timer.start();
        try {
            app->open(path);
            QFAIL("the document opened");
        } catch (const office::Failure &f) {
            QVERIFY2(f.description().contains(says), qPrintable(f.description()));
        }
        QVERIFY(timer.elapsed() < 5000);
        app->quit();
    }

    void hungOfficeIsEndedWithinTheLimit()
    {
        office::Limits limits;
        limits.call = 2s;
        auto app = office::startLibreOffice(limits);
        auto doc = app->open(documents::pages(dir.path(), "hang.fodt", 2));
        const auto children = officeChildren();
        QCOMPARE(children.size(), 1);
        ::kill(children[0], SIGSTOP);
        QElapsedTimer timer;
        timer.start();
        try {
            doc->select();
            QFAIL("a stopped office answered");
        } catch (const office::Failure &f) {
            QVERIFY2(f.description().contains("办公软件2秒内没有响应"), qPrintable(f.description()));
        }
        QVERIFY(timer.elapsed() < 10000);
        QTRY_COMPARE(officeChildren(), QList<int>{});
        // What follows fails at once instead of waiting again.
        QVERIFY_THROWS_EXCEPTION(office::Failure, doc->close());
        app->quit();
    }

    void officeThatDiesIsReportedAsSuch()
    {
        auto app = office::startLibreOffice();
        auto doc = app->open(documents::pages(dir.path(), "dies.fodt", 2));
        ::kill(officeChildren().value(0), SIGKILL);
        try {
            doc->select();
            QFAIL("a dead office answered");
        } catch (const office::Failure &f) {
            QVERIFY2(f.description().contains("办公软件意外结束"), qPrintable(f.description()));
        }
        app->quit();
    }

    void droppedApplicationEndsItsOffice()
    {
        {
            auto app = office::startLibreOffice();
            auto doc = app->open(documents::pages(dir.path(), "dropped.fodt", 1));
            QCOMPARE(officeChildren().size(), 1);
        }
        QCOMPARE(officeChildren(), QList<int>{});
    }
};

QTEST_GUILESS_MAIN(tst_libreoffice)
#include "tst_libreoffice.moc"
