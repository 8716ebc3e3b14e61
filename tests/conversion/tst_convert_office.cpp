#include "conversion/BatchRun.h"
#include "conversion/ConvertDocument.h"
#include "convix/Batch.h"
#include "emf/RecordCount.h"
#include "emf/TransparentFills.h"
#include "office/LibreOffice.h"
#include "office/PictureRenderer.h"
#include "platform/NativePath.h"
#include "support/Documents.h"
#include "support/Emf.h"
#include "support/OfficePdf.h"
#include "support/Processes.h"
#include "support/ScriptedOffice.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRect>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace {

const QString kTestDocs = QStringLiteral(PAGEGRAB_TESTDOCS);

// Where a page is marked below its top quarter, where the watermark document
// has nothing but its watermark.
struct Marks {
    QRect box;
    int marked = 0;
    int dark = 0;
};

Marks marksOf(const QImage &paper)
{
    Marks marks;
    for (int y = paper.height() / 4; y < paper.height(); ++y)
        for (int x = 0; x < paper.width(); ++x) {
            const int grey = qGray(paper.pixel(x, y));
            if (grey >= 245)
                continue;
            marks.box |= QRect(x, y, 1, 1);
            ++marks.marked;
            marks.dark += grey < 140;
        }
    return marks;
}

QString described(const Marks &marks)
{
    const QRect &b = marks.box;
    return QStringLiteral("(%1,%2)-(%3,%4) marked %5 dark %6")
        .arg(b.left())
        .arg(b.top())
        .arg(b.right())
        .arg(b.bottom())
        .arg(marks.marked)
        .arg(marks.dark);
}

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

// An office that is killed just as it is to open one particular document.
class DyingOnOpen : public office::Application {
public:
    DyingOnOpen(std::unique_ptr<office::Application> inner, int pid, QString victim)
        : inner_(std::move(inner)), pid_(pid), victim_(std::move(victim))
    {
    }
    void setCheckGrammarAsYouType(bool on) override { inner_->setCheckGrammarAsYouType(on); }
    void setCheckGrammarWithSpelling(bool on) override { inner_->setCheckGrammarWithSpelling(on); }
    std::unique_ptr<office::Document> open(const QString &path) override
    {
        if (path == victim_)
            ::kill(pid_, SIGKILL);
        return inner_->open(path);
    }
    office::Position selectionStart() override { return inner_->selectionStart(); }
    office::Position selectionEnd() override { return inner_->selectionEnd(); }
    void collapseSelectionToStart() override { inner_->collapseSelectionToStart(); }
    void browseNextPage() override { inner_->browseNextPage(); }
    void quit() override { inner_->quit(); }

private:
    std::unique_ptr<office::Application> inner_;
    int pid_;
    QString victim_;
};

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
            const QByteArray emf = f.readAll();
            QVERIFY2(readEmfHeader(emf).valid, qPrintable(name));
            // A strict reader refuses a picture whose header miscounts its records.
            QVERIFY2(emfRecordsHeld(emf) > 1, qPrintable(name));
            QCOMPARE(readEmfHeader(emf).records, emfRecordsHeld(emf));
        }
    }

private slots:
    void cleanup() { QTRY_COMPARE(officeChildren(), QList<int>{}); }

    void madeDocumentsGiveOnePicturePerPage()
    {
        const QString out = freshFolder("made");
        const QString log = dir.filePath("made.log");
        const office::ApplicationFactory start = [] { return office::startLibreOffice(); };
        QVERIFY(!conversion::ConvertDocument({documents::pages(dir.path(), "three.fodt", 3), out, log, {}}, start)
                     .failed());
        QVERIFY(
            !conversion::ConvertDocument({documents::tableAcrossPages(dir.path(), "table.fodt"), out, log, {}}, start)
                 .failed());
        QVERIFY(!conversion::ConvertDocument(
                     {documents::chineseText(dir.path(), "中文 文档.fodt", "第一页"), out, log, {}}, start)
                     .failed());
        QVERIFY(!QFile::exists(log));
        QStringList all = QDir(out).entryList(QDir::Files, QDir::Name);
        QCOMPARE(all, (QStringList{"table-1.emf", "table-2.emf", "table-3.emf", "three-1.emf", "three-2.emf",
                                   "three-3.emf", "中文 文档-1.emf"}));

        // A range takes its pages by their place in the document.
        const QString ranged = freshFolder("ranged");
        QVERIFY(!conversion::ConvertDocument(
                     {documents::pages(dir.path(), "five.fodt", 5), ranged, log, conversion::PageRange{2, 3}}, start)
                     .failed());
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

    void fieldsShowTheDocumentsOwnNameAndPath_data()
    {
        QTest::addColumn<QString>("stem");
        QTest::newRow("Chinese") << "名字 fields";
        // What an address gives a meaning to, in a stranger's file name.
        QTest::newRow("address characters") << "x #1 50%?;%2F";
    }

    void fieldsShowTheDocumentsOwnNameAndPath()
    {
        QFETCH(QString, stem);
        const QString document = documents::withFileNameFields(dir.path(), stem + ".fodt");
        const QString out = freshFolder("fields");
        QVERIFY(!conversion::ConvertDocument({document, out, dir.filePath("fields.log"), {}}, [] {
                     return office::startLibreOffice();
                 }).failed());
        QFile page(out + stem + "-1.emf");
        QVERIFY(page.open(QIODevice::ReadOnly));
        // Words may be drawn a run at a time; the spaces between runs are not text.
        const QString text = emfTexts(page.readAll()).join("").remove(' ');
        QVERIFY2(text.contains(QString("Name:" + stem + ".fodt").remove(QChar(0x20))), qPrintable(text));
        QVERIFY2(text.contains(QString("Path:" + document).remove(QChar(0x20))), qPrintable(text));
        QVERIFY2(!text.contains("stale") && !text.contains("private"), qPrintable(text));
    }

    void transparentLettersAreCompleteLightAndInPlaceForEveryReader()
    {
        const QString document = documents::withWatermark(dir.path(), "watermark.fodt");
        const QString out = freshFolder("watermark");
        QVERIFY(!conversion::ConvertDocument({document, out, dir.filePath("watermark.log"), {}}, [] {
                     return office::startLibreOffice();
                 }).failed());
        QFile page(out + "watermark-1.emf");
        QVERIFY(page.open(QIODevice::ReadOnly));
        QFile plain(out + "plain.emf");
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write(withoutEmfPlus(page.readAll()));
        plain.close();
        QVERIFY(!officePdf(document, out).isEmpty());
        const Marks theirs = marksOf(pdfPageImage(out + "watermark.pdf", 1, 96));
        QVERIFY2(theirs.marked > 2000, qPrintable(described(theirs)));

        // The office reads the EMF+ part; a reader without EMF+ the rest.
        auto renderer = office::startPictureRenderer();
        const QSize a4At96Dpi(794, 1123);
        const Marks withEmfPlus = marksOf(
            convix::onWhitePaper(QImage::fromData(renderer->render(page.fileName(), a4At96Dpi))));
        const Marks plainEmf = marksOf(
            convix::onWhitePaper(QImage::fromData(renderer->render(plain.fileName(), a4At96Dpi))));
        renderer->quit();
        for (const Marks &ours : {withEmfPlus, plainEmf}) {
            const QString both = described(ours) + ", the office's PDF " + described(theirs);
            for (int edge : {ours.box.left() - theirs.box.left(), ours.box.top() - theirs.box.top(),
                             ours.box.right() - theirs.box.right(), ours.box.bottom() - theirs.box.bottom()})
                QVERIFY2(std::abs(edge) <= 3, qPrintable(both));
            QVERIFY2(ours.dark < ours.marked / 100, qPrintable(both));
        }
        // Every letter, not the first alone.
        QVERIFY2(withEmfPlus.marked > plainEmf.marked * 0.8, qPrintable(described(withEmfPlus)));
    }

    void transparentFillsAreRewrittenOnlyWhereLaidOutAsTheWriterLaysThem()
    {
        const auto record = [](quint32 type, const QList<quint32> &fields, const QByteArray &tail = {}) {
            QByteArray bytes(8, '\0');
            qToLittleEndian<quint32>(type, bytes.data());
            for (quint32 field : fields) {
                char little[4];
                qToLittleEndian(field, little);
                bytes.append(little, 4);
            }
            bytes += tail;
            qToLittleEndian<quint32>(quint32(bytes.size()), bytes.data() + 4);
            return bytes;
        };
        const auto points16 = [](const QList<qint16> &xy) {
            QByteArray bytes(xy.size() * 2, '\0');
            qToLittleEndian<qint16>(xy.constData(), xy.size(), bytes.data());
            return bytes;
        };
        const auto points32 = [](const QList<qint32> &xy) {
            QByteArray bytes(xy.size() * 4, '\0');
            qToLittleEndian<qint32>(xy.constData(), xy.size(), bytes.data());
            return bytes;
        };
        const QByteArray twoOutlines = record(
            91, {0, 0, 0, 0, 2, 7, 3, 4},
            points16({2540, 5080, 5080, 2540, 5080, 5080, 0, 0, 100, 0, 100, 100, 0, 100}));
        const QByteArray oneOutline = record(3, {0, 0, 0, 0, 3}, points32({2540, 5080, 5080, 2540, 5080, 5080}));
        const QByteArray anisotropic = record(17, {8}) + record(9, {2540, 2540}) + record(11, {96, 96});
        // The writer's layout: a transparent EMF+ fill of the first outline,
        // then the brush, then the plain fill of every outline.
        const auto picture = [&](quint32 plusPoints, const QByteArray &plain, const QByteArray &mapping) {
            QByteArray fill(12, '\0');
            qToLittleEndian<quint16>(0x400C, fill.data());
            qToLittleEndian<quint16>(0xC000, fill.data() + 2);
            fill += record(0, {0x7F808080, plusPoints}, points16({1, 1, 2, 1, 2, 2})).mid(8);
            qToLittleEndian<quint32>(quint32(fill.size()), fill.data() + 4);
            qToLittleEndian<quint32>(quint32(fill.size() - 12), fill.data() + 8);
            QByteArray emf = scriptedPicture(1);
            qToLittleEndian<quint16>(2, emf.data() + 56);
            emf += mapping + record(70, {quint32(4 + fill.size()), 0x2B464D45}, fill) + record(39, {1, 0, 0x808080, 0})
                   + record(37, {1}) + plain + record(14, {0, 16, 20});
            qToLittleEndian<quint32>(quint32(emf.size()), emf.data() + 48);
            qToLittleEndian<quint32>(emfRecordsHeld(emf), emf.data() + 52);
            return emf;
        };
        // Each record's type and where it starts.
        const auto records = [](const QByteArray &emf) {
            QList<std::pair<quint32, qsizetype>> found;
            for (qsizetype at = 0; at + 8 <= emf.size(); at += qFromLittleEndian<quint32>(emf.constData() + at + 4))
                found.append({qFromLittleEndian<quint32>(emf.constData() + at), at});
            return found;
        };

        for (const auto &[plain, points] : {std::pair(twoOutlines, 7), std::pair(oneOutline, 3)}) {
            QByteArray mended = picture(3, plain, anisotropic);
            emf::completeTransparentFills(mended);
            QList<quint32> types;
            for (const auto &[type, at] : records(mended))
                types << type;
            const quint32 plainType = qFromLittleEndian<quint32>(plain.constData());
            QCOMPARE(types, (QList<quint32>{1, 17, 9, 11, 70, 39, 37, 33, 39, 37, plainType, 34, 40, 14}));
            QCOMPARE(readEmfHeader(mended).records, emfRecordsHeld(mended));
            QCOMPARE(qFromLittleEndian<quint32>(mended.constData() + 48), quint32(mended.size()));
            QCOMPARE(qFromLittleEndian<quint16>(mended.constData() + 56), quint16(3));
            QVERIFY(mended.contains(record(39, {2, 0, 0xC0C0C0, 0})));
            // One path of every point, in device pixels (2540 logical units
            // are 96), then its fill in the transparent colour.
            const qsizetype path = records(mended)[4].second + 16;
            QCOMPARE(qFromLittleEndian<quint16>(mended.constData() + path), quint16(0x4008));
            QCOMPARE(qFromLittleEndian<quint32>(mended.constData() + path + 16), quint32(points));
            float first[2];
            std::memcpy(first, mended.constData() + path + 24, 8);
            QCOMPARE(first[0], 96.0f);
            QCOMPARE(first[1], 192.0f);
            const qsizetype fill = path + qFromLittleEndian<quint32>(mended.constData() + path + 4);
            QCOMPARE(mended.mid(fill, 16), QByteArray::fromHex("1440008010000000040000008080807f"));
        }

        // What is not that layout, or not whole, stays as it is.
        QByteArray noHandles = picture(3, twoOutlines, anisotropic);
        qToLittleEndian<quint16>(0, noHandles.data() + 56);
        for (QByteArray other :
             {picture(2, twoOutlines, anisotropic), picture(400, twoOutlines, anisotropic),
              picture(3, twoOutlines, record(35, {0, 0, 0, 0, 0, 0}) + anisotropic), picture(3, twoOutlines, {}),
              picture(3, twoOutlines, anisotropic).chopped(4), noHandles}) {
            const QByteArray before = other;
            emf::completeTransparentFills(other);
            QCOMPARE(other, before);
        }
    }

    void recordCountIsMendedOnlyWhereTheRecordsRunWhole()
    {
        QByteArray endOfFile(20, '\0');
        qToLittleEndian<quint32>(14, endOfFile.data());
        qToLittleEndian<quint32>(20, endOfFile.data() + 4);
        QByteArray whole = scriptedPicture(1) + endOfFile;
        qToLittleEndian<quint32>(1, whole.data() + 52); // as the office counts
        emf::correctRecordCount(whole);
        QCOMPARE(readEmfHeader(whole).records, quint32(2));
        for (QByteArray broken : {whole.chopped(4), whole.left(88) + QByteArray(8, '\0'), whole.left(88)}) {
            qToLittleEndian<quint32>(1, broken.data() + 52);
            emf::correctRecordCount(broken);
            QCOMPARE(readEmfHeader(broken).records, quint32(1));
        }
    }

    void nameThatIsNotUtf8KeepsItsBytes()
    {
        // A Chinese name in the GBK code page, as archives made elsewhere unpack.
        const QString made = documents::pages(dir.path(), "gbk.fodt", 2);
        const QByteArray name = QFile::encodeName(dir.path()) + "/\xb1\xa8\xb8\xe6.doc";
        QCOMPARE(rename(QFile::encodeName(made).constData(), name.constData()), 0);
        const QString out = freshFolder("gbk");
        const QString log = dir.filePath("gbk.log");
        QVERIFY(!conversion::ConvertDocument({platform::fromNativePath(name), out, log, {}}, [] {
                     return office::startLibreOffice();
                 }).failed());
        for (const char *page : {"1", "2"}) {
            const QByteArray picture = QFile::encodeName(out) + "\xb1\xa8\xb8\xe6-" + page + ".emf";
            QVERIFY(access(picture, R_OK) == 0);
            QCOMPARE(unlink(picture), 0);
        }
        // Qt cannot remove what it cannot name.
        QCOMPARE(unlink(name.constData()), 0);
    }

    void twoInFlightLeaveWhatOneAtATimeLeaves()
    {
        // Two documents named alike from different folders (the later one's
        // pictures must remain), one that fails, and some that convert.
        QDir().mkpath(dir.filePath("other"));
        const QString twin = dir.filePath("other/simple.doc");
        QFile::copy(documents::pages(dir.path(), "twin.fodt", 3), twin);
        const QStringList list{kTestDocs + "/simple.doc", kTestDocs + "/fuzzed-unreadable.doc",
                               kTestDocs + "/HeaderFooterProblematic.doc", twin, kTestDocs + "/Bug47958.doc"};
        QMap<QString, QByteArray> results[2];
        QStringList logs[2];
        for (int inFlight : {1, 2}) {
            const QString out = freshFolder(QStringLiteral("flight%1").arg(inFlight));
            const QString log = out + "run.log";
            conversion::BatchRun run({list, out, std::nullopt, log, inFlight}, office::libreOffices(), {});
            run.start();
            QCOMPARE(run.wait().finished, list.size());
            for (const QString &name : QDir(out).entryList({"*.emf"}, QDir::Files)) {
                QFile picture(out + name);
                QVERIFY(picture.open(QIODevice::ReadOnly));
                results[inFlight - 1][name] = picture.readAll();
            }
            for (const QString &line : logLines(log))
                logs[inFlight - 1] << line.section('\t', 1);
        }
        QCOMPARE(results[1].keys(), results[0].keys());
        for (const QString &name : results[0].keys())
            QVERIFY2(results[1][name] == results[0][name], qPrintable(name));
        QCOMPARE(logs[1], logs[0]);
        // The failure, and the twin's name taken by the later document.
        QCOMPARE(logs[0].size(), 2);
        QCOMPARE(logs[0][1], "文档" + twin + "与" + kTestDocs + "/simple.doc同名，图片取自前者，后者的图片已删除。");
        // The twin has three pages, the real simple.doc one: page 1 is the twin's.
        QVERIFY(results[0].contains("simple-3.emf"));
        QVERIFY(emfContainsText(results[0]["simple-1.emf"], "Page 1"));
    }

    void anOfficeKilledMidDocumentFailsOnlyItsDocument()
    {
        // The office of one document dies as it opens it, while the other
        // document converts in an office of its own.
        const QString victim = documents::pages(dir.path(), "victim.fodt", 2);
        std::mutex starting;
        const office::ApplicationFactory start = [&]() -> std::unique_ptr<office::Application> {
            std::lock_guard lock(starting);
            const QList<int> before = officeChildren();
            auto app = office::startLibreOffice();
            int own = 0;
            for (int pid : officeChildren())
                if (!before.contains(pid))
                    own = pid;
            return std::make_unique<DyingOnOpen>(std::move(app), own, victim);
        };
        const QString out = freshFolder("killed");
        conversion::BatchRun run({{victim, kTestDocs + "/saved-by-table.doc"}, out, std::nullopt, out + "run.log", 2},
                                 {start, office::endAllOffices}, {});
        run.start();
        run.wait();
        const auto &outcomes = run.outcomes();
        QCOMPARE(outcomes.size(), std::size_t(2));
        QVERIFY2(outcomes[0].failure.contains("办公软件意外结束"), qPrintable(outcomes[0].failure));
        QVERIFY(!outcomes[1].failed());
        QCOMPARE(outcomes[1].pagesWritten, pdfPageCount(officePdf(kTestDocs + "/saved-by-table.doc", dir.path())));
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
        QVERIFY(lines[0].endsWith("处错：无法打开文档：文档有密码保护"));
        QVERIFY(lines[1].endsWith("处错：无法打开文档：文档已损坏，无法读取"));
        QVERIFY(lines[2].endsWith("处错：文件不存在"));
    }
};

QTEST_GUILESS_MAIN(tst_convert_office)
#include "tst_convert_office.moc"
