#include "convix/Arguments.h"
#include "convix/frmConvert.h"
#include "imageconv/Converter.h"
#include "support/GuiTestMain.h"
#include "support/ModalAnswers.h"
#include "support/ScriptedOffice.h"

#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>

#include <mutex>

using gui::Answer;
using gui::MessageBox;

namespace {

// Paints every picture grey at the asked size, without an office.
class FakeRenderer : public office::PictureRenderer {
public:
    // Like the office: never more than 4096×4096 pixels in all.
    QByteArray render(const QString &, QSize pixels) override
    {
        if (qint64(pixels.width()) * pixels.height() > 4096 * 4096)
            pixels.scale(4096, 4096, Qt::KeepAspectRatio);
        QImage image(pixels, QImage::Format_ARGB32);
        image.fill(Qt::gray);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return png;
    }
    void quit() override {}
};

// What the preview's renderers were asked, for a test to follow and hold.
struct Drawing {
    std::mutex mutex;
    QStringList asked; // file names, in order
    std::atomic<int> started{0}, quits{0};
    std::atomic<bool> held{false};
    QSemaphore letGo; // one drawing each, while held

    QStringList names()
    {
        const std::lock_guard lock(mutex);
        return asked;
    }
};

// The fake renderer, held at each drawing while the test says so, failing
// as an office does for a file named "broken".
class GatedRenderer : public FakeRenderer {
public:
    explicit GatedRenderer(std::shared_ptr<Drawing> drawing) : drawing_(std::move(drawing)) { ++drawing_->started; }
    QByteArray render(const QString &path, QSize pixels) override
    {
        {
            const std::lock_guard lock(drawing_->mutex);
            drawing_->asked << QFileInfo(path).fileName();
        }
        if (drawing_->held)
            drawing_->letGo.acquire();
        if (path.contains("broken"))
            throw office::Failure("办公软件意外退出");
        return FakeRenderer::render(path, pixels);
    }
    void quit() override { ++drawing_->quits; }

private:
    std::shared_ptr<Drawing> drawing_;
};

// A header-only EMF of the given frame, whose recorded length is its own.
void writeEmf(const QString &path, int widthHundredthsMm, int heightHundredthsMm)
{
    QByteArray emf = scriptedPicture(1) + QByteArray(20, '\0');
    qToLittleEndian<quint32>(14, emf.data() + 88); // end of file
    qToLittleEndian<quint32>(20, emf.data() + 92);
    qToLittleEndian<qint32>(widthHundredthsMm - 1, emf.data() + 32);
    qToLittleEndian<qint32>(heightHundredthsMm - 1, emf.data() + 36);
    qToLittleEndian<quint32>(emf.size(), emf.data() + 48);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(emf);
}

// The resolution a BMP, PNG or JPEG file records, read from its bytes as
// other programs read it: "X×Y per metre" or "X×Y per inch".
QString recordedResolution(const QByteArray &file)
{
    const auto be16 = [&](int at) { return qFromBigEndian<quint16>(file.constData() + at); };
    const auto be32 = [&](qsizetype at) { return qFromBigEndian<quint32>(file.constData() + at); };
    const auto perMetre = [](quint32 x, quint32 y) { return QStringLiteral("%1×%2 per metre").arg(x).arg(y); };
    if (file.startsWith("BM") && file.size() >= 46)
        return perMetre(qFromLittleEndian<qint32>(file.constData() + 38),
                        qFromLittleEndian<qint32>(file.constData() + 42));
    if (file.startsWith("\x89PNG")) {
        // Only a pHYs chunk in metres (unit 1) says a resolution.
        for (qsizetype at = 8; at + 8 <= file.size(); at += 12 + be32(at)) {
            if (file.mid(at + 4, 4) == "pHYs" && at + 17 <= file.size() && file[at + 16] == 1)
                return perMetre(be32(at + 8), be32(at + 12));
        }
        return "none";
    }
    // JFIF's density comes right after the start marker; units 1 is per inch.
    if (file.startsWith("\xFF\xD8\xFF\xE0") && file.size() >= 18 && file.mid(6, 5) == QByteArray("JFIF", 5)
        && file[13] == 1)
        return QStringLiteral("%1×%2 per inch").arg(be16(14)).arg(be16(16));
    return "none";
}

// A window on a folder of pages: portrait, landscape, square, one that is
// no EMF and one the office fails on; drawn through the given record.
std::unique_ptr<frmConvert> previewWindow(const QString &folder, const std::shared_ptr<Drawing> &drawing)
{
    QDir().mkpath(folder);
    writeEmf(folder + "/p-1.emf", 21000, 29700);
    writeEmf(folder + "/p-2.emf", 29700, 21000);
    writeEmf(folder + "/p-3.emf", 2540, 2540);
    writeEmf(folder + "/p-4-broken.emf", 21000, 29700);
    QFile bad(folder + "/p-5.emf");
    if (bad.open(QIODevice::WriteOnly))
        bad.write("not a picture");
    auto w = std::make_unique<frmConvert>(folder, [drawing] { return std::make_unique<GatedRenderer>(drawing); });
    w->show();
    return w;
}

// The size a page is to be shown at in the preview area as it is now.
QSize fitted(const frmConvert &w, const QString &page)
{
    return convix::fittedSize(page, w.lblPreview->contentsRect().size() * w.lblPreview->devicePixelRatioF());
}

} // namespace

class tst_convix_window : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void argumentsAreChecked()
    {
        using convix::readArguments;
        const QString token = imageconv::kToken;
        QVERIFY(readArguments({}).problem.contains("Pagegrab"));
        QVERIFY(readArguments({"wrong@token.example", dir.path()}).problem.contains("Pagegrab"));
        QVERIFY(readArguments({dir.path()}).problem.contains("Pagegrab"));
        QVERIFY(readArguments({token, ""}).problem.contains("没有指定图片保存目录"));
        QCOMPARE(readArguments({token, dir.filePath("missing")}).problem,
                 "图片保存目录不存在：" + dir.filePath("missing"));
        const auto ok = readArguments({token, dir.path()});
        QVERIFY(ok.problem.isEmpty());
        QCOMPARE(ok.folder, dir.path());
    }

    void pagesAreInNumberOrder()
    {
        QStringList names{"r-10.emf", "r-2.emf", "r-1.emf", "a-02.emf", "a-1.emf", "b.emf", "a-10b.emf", "a-10a.emf"};
        std::sort(names.begin(), names.end(), convix::naturalLess);
        QCOMPARE(names, (QStringList{"a-1.emf", "a-02.emf", "a-10a.emf", "a-10b.emf", "b.emf", "r-1.emf", "r-2.emf",
                                     "r-10.emf"}));
    }

    void convertsListsInNumberOrderAndAsksOnceBeforeReplacing()
    {
        const QString folder = dir.filePath("pics");
        QDir().mkpath(folder);
        for (const char *name : {"r-10.emf", "r-2.emf", "r-1.emf"})
            writeEmf(folder + "/" + name, 21000, 29700);
        QFile(folder + "/notes.txt").open(QIODevice::WriteOnly);

        frmConvert w(folder, [] { return std::make_unique<FakeRenderer>(); });
        QCOMPARE(w.lstFiles->count(), 3);
        QCOMPARE(w.lstFiles->item(0)->text(), "r-1.emf");
        QCOMPARE(w.lstFiles->item(2)->text(), "r-10.emf");
        QVERIFY(w.OptJpg->isChecked());
        QCOMPARE(w.cboDpi->currentData().toInt(), 96);
        // The program's own icon, not the platform's generic one.
        QVERIFY(!w.windowIcon().isNull());
        const auto argb = [](const QImage &image) { return image.convertToFormat(QImage::Format_ARGB32); };
        QCOMPARE(argb(w.windowIcon().pixmap(32).toImage()), argb(QImage(":/pagegrab-32.png")));

        QSignalSpy done(&w, &frmConvert::finished);
        w.OptBmp->setChecked(true);
        w.CmdStart->click();
        QVERIFY(w.isRunning() || done.count() == 1);
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(MessageBox::takeShown().value(0).text, "转换完毕：写入3个文件，失败0个。");
        QCOMPARE(QImage(folder + "/r-2.bmp").size(), QSize(794, 1123));
        QCOMPARE(w.barProgress->value(), 3);

        // Again: one question for the whole run; No keeps the files.
        MessageBox::setNextAnswer(Answer::No);
        w.CmdStart->click();
        QTRY_COMPARE(done.count(), 2);
        auto shown = MessageBox::takeShown();
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[0].text, "目录中已有3个同名的图片文件，是否全部替换？");
        QCOMPARE(shown[1].text, "转换完毕：写入0个文件，失败0个，跳过3个已有的文件。");

        MessageBox::setNextAnswer(Answer::Yes);
        w.CmdStart->click();
        QTRY_COMPARE(done.count(), 3);
        QCOMPARE(MessageBox::takeShown().value(1).text, "转换完毕：写入3个文件，失败0个。");
    }

    // Each of the window's boxes through its real buttons.
    void boxesAnswerThroughTheirButtons()
    {
        MessageBox::answerAutomatically(false);
        const QString folder = dir.filePath("buttons");
        QDir().mkpath(folder);
        {
            ModalAnswers answers;
            answers.thenClick(QMessageBox::Ok);
            frmConvert empty(folder, [] { return std::make_unique<FakeRenderer>(); });
            empty.show();
            QTRY_VERIFY(answers.allAnswered());
            QCOMPARE(answers.texts, QStringList{"该目录中没有EMF图片文件。"});
        }
        writeEmf(folder + "/r-1.emf", 21000, 29700);
        QFile(folder + "/r-1.jpg").open(QIODevice::WriteOnly);
        frmConvert w(folder, [] { return std::make_unique<FakeRenderer>(); });
        QSignalSpy done(&w, &frmConvert::finished);
        ModalAnswers answers;
        answers.thenClick(QMessageBox::No).thenClick(QMessageBox::Ok);
        answers.thenClick(QMessageBox::Yes).thenClick(QMessageBox::Ok);
        w.CmdStart->click();
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(QFileInfo(folder + "/r-1.jpg").size(), 0);
        w.CmdStart->click();
        QTRY_COMPARE(done.count(), 2);
        QVERIFY(QFileInfo(folder + "/r-1.jpg").size() > 0);
        QCOMPARE(answers.texts,
                 (QStringList{"目录中已有1个同名的图片文件，是否全部替换？",
                              "转换完毕：写入0个文件，失败0个，跳过1个已有的文件。",
                              "目录中已有1个同名的图片文件，是否全部替换？", "转换完毕：写入1个文件，失败0个。"}));
        MessageBox::answerAutomatically(true);
    }

    void picturesRecordTheChosenResolution()
    {
        const QString folder = dir.filePath("resolutions");
        QDir().mkpath(folder);
        writeEmf(folder + "/page.emf", 2540, 2540); // one inch square
        const QMap<int, int> dotsPerMetre{{96, 3780}, {150, 5906}, {300, 11811}};

        frmConvert w(folder, [] { return std::make_unique<FakeRenderer>(); });
        QSignalSpy done(&w, &frmConvert::finished);
        for (QRadioButton *option : {w.OptBmp, w.OptJpg, w.OptPng}) {
            for (int i = 0; i < w.cboDpi->count(); ++i) {
                const int dpi = w.cboDpi->itemData(i).toInt();
                const QString target = folder + "/page." + option->text().toLower();
                QFile::remove(target);
                option->setChecked(true);
                w.cboDpi->setCurrentIndex(i);
                w.CmdStart->click();
                QTRY_COMPARE(done.count(), 1);
                done.clear();
                QCOMPARE(MessageBox::takeShown().value(0).text, "转换完毕：写入1个文件，失败0个。");
                QFile written(target);
                QVERIFY(written.open(QIODevice::ReadOnly));
                const QString expected = option == w.OptJpg
                                             ? QStringLiteral("%1×%1 per inch").arg(dpi)
                                             : QStringLiteral("%1×%1 per metre").arg(dotsPerMetre.value(dpi));
                QCOMPARE(recordedResolution(written.readAll()), expected);
                QCOMPARE(QImage(target).size(), QSize(dpi, dpi));
            }
        }
    }

    void failuresAreListedWithTheirReason()
    {
        const QString folder = dir.filePath("mixed");
        QDir().mkpath(folder);
        writeEmf(folder + "/good.emf", 21000, 29700);
        QFile bad(folder + "/bad.emf");
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("not a picture");
        bad.close();
        // A whole header, its length right, noise where its records were.
        writeEmf(folder + "/garbled.emf", 21000, 29700);
        QFile garbled(folder + "/garbled.emf");
        QVERIFY(garbled.open(QIODevice::ReadWrite) && garbled.seek(88) && garbled.write(QByteArray(20, '\x5a')) == 20);
        garbled.close();

        frmConvert w(folder, [] { return std::make_unique<FakeRenderer>(); });
        QSignalSpy done(&w, &frmConvert::finished);
        w.CmdStart->click();
        QTRY_COMPARE(done.count(), 1);
        QCOMPARE(w.lstFailed->count(), 2);
        QCOMPARE(w.lstFailed->item(0)->text(), "bad.emf：不是EMF图片");
        QCOMPARE(w.lstFailed->item(1)->text(), "garbled.emf：图片已损坏：其中的记录不完整或已错乱");
        QCOMPARE(MessageBox::takeShown().value(0).text, "转换完毕：写入1个文件，失败2个。");
    }

    void picturesTooLargeToDrawAreRefusedWithTheirSize()
    {
        // A 1.5 m frame: 17717 pixels wide at 300 dpi, beyond 32 bits when
        // multiplied carelessly, and beyond what the office draws.
        const QString huge = dir.filePath("huge.emf");
        writeEmf(huge, 150000, 150000);
        try {
            convix::pixelSize(huge, 300);
            QFAIL("a picture too large to draw was sized");
        } catch (const std::runtime_error &e) {
            QCOMPARE(QString::fromUtf8(e.what()),
                     "图片在300 dpi下为17717×17717像素，超过办公软件能绘制的16777216像素（4096×4096）");
        }
        // The widest frame a header can hold is refused, not overflowed.
        writeEmf(huge, std::numeric_limits<qint32>::max(), 100);
        QFile widest(huge);
        QVERIFY(widest.open(QIODevice::ReadWrite));
        QByteArray bytes = widest.readAll();
        qToLittleEndian<qint32>(std::numeric_limits<qint32>::min(), bytes.data() + 24);
        widest.seek(0);
        widest.write(bytes);
        widest.close();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, convix::pixelSize(huge, 96));
        // What the office draws smaller than asked is not written as if it fitted.
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                 convix::checkedSize(FakeRenderer().render(huge, {5000, 5000}), {5000, 5000}));
    }

    void theOfficesColoursAreKeptOnPaper()
    {
        // As the office draws: colours already on white, and alpha marking
        // them a second time.
        QImage drawn(3, 1, QImage::Format_ARGB32);
        drawn.setPixel(0, 0, qRgba(191, 191, 191, 128)); // a half-transparent grey fill
        drawn.setPixel(1, 0, qRgba(171, 171, 171, 84));  // a letter's edge
        drawn.setPixel(2, 0, qRgba(255, 255, 255, 0));   // nothing
        const QImage paper = convix::onWhitePaper(drawn);
        QCOMPARE(paper.pixel(0, 0), qRgb(191, 191, 191));
        QCOMPARE(paper.pixel(1, 0), qRgb(171, 171, 171));
        QCOMPARE(paper.pixel(2, 0), qRgb(255, 255, 255));
    }

    void picturesFitTheirBoxInTheirShape()
    {
        const QString page = dir.filePath("fit.emf");
        writeEmf(page, 21000, 29700);
        QCOMPARE(convix::fittedSize(page, {256, 256}), QSize(181, 256));
        writeEmf(page, 29700, 21000);
        QCOMPARE(convix::fittedSize(page, {256, 256}), QSize(256, 181));
        QCOMPARE(convix::fittedSize(page, {100, 400}), QSize(100, 71));
        // A sliver keeps a pixel of height rather than vanishing.
        writeEmf(page, std::numeric_limits<qint32>::max(), 100);
        QCOMPARE(convix::fittedSize(page, {256, 256}), QSize(256, 1));
    }

    void previewShowsTheSelectedPageAtTheAreaSize()
    {
        auto drawing = std::make_shared<Drawing>();
        const QString folder = dir.filePath("preview");
        auto w = previewWindow(folder, drawing);
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        // The preview takes most of the window (as large as the screen allows).
        QVERIFY(w->lblPreview->width() > 2 * w->lstFiles->width());
        QVERIFY(w->lblPreview->height() > w->height() / 2);
        QVERIFY(w->lblPreview->pixmap().isNull());
        QCOMPARE(drawing->started, 0);

        w->lstFiles->setCurrentRow(0);
        QTRY_COMPARE(w->lblPreview->pixmap().size(), fitted(*w, folder + "/p-1.emf"));
        w->lstFiles->setCurrentRow(1);
        QTRY_COMPARE(w->lblPreview->pixmap().size(), fitted(*w, folder + "/p-2.emf"));
        const QSize before = w->lblPreview->pixmap().size();
        // A resize draws the page again at the new size, once it comes to rest.
        w->resize(w->width() - 200, w->height() - 150);
        QTRY_COMPARE(w->lblPreview->pixmap().size(), fitted(*w, folder + "/p-2.emf"));
        QVERIFY(w->lblPreview->pixmap().width() < before.width());

        // Failures say why, in the preview; the office that failed is replaced.
        w->lstFiles->setCurrentRow(4);
        QTRY_COMPARE(w->lblPreview->text(), "无法预览：不是EMF图片");
        w->lstFiles->setCurrentRow(3);
        QTRY_COMPARE(w->lblPreview->text(), "无法预览：办公软件意外退出");
        w->lstFiles->setCurrentRow(2);
        QTRY_COMPARE(w->lblPreview->pixmap().size(), fitted(*w, folder + "/p-3.emf"));
        QCOMPARE(drawing->started, 2);

        // Nothing selected, nothing shown.
        w->lstFiles->clearSelection();
        QVERIFY(w->lblPreview->pixmap().isNull());
        QVERIFY(w->lblPreview->text().isEmpty());
        w.reset();
        QCOMPARE(drawing->quits, 1);
        QCOMPARE(drawing->names(), (QStringList{"p-1.emf", "p-2.emf", "p-2.emf", "p-4-broken.emf", "p-3.emf"}));
    }

    void previewShowsOnlyTheLatestSelection()
    {
        auto drawing = std::make_shared<Drawing>();
        drawing->held = true;
        const QString folder = dir.filePath("latest");
        auto w = previewWindow(folder, drawing);
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->lstFiles->setCurrentRow(0);
        QTRY_COMPARE(drawing->names().size(), 1);
        QCOMPARE(w->lblPreview->text(), "正在生成预览…");
        // Arrow keys while the first is drawn: only the last is drawn next.
        w->lstFiles->setCurrentRow(1);
        w->lstFiles->setCurrentRow(2);
        drawing->letGo.release();
        QTRY_COMPARE(drawing->names(), (QStringList{"p-1.emf", "p-3.emf"}));
        // The first page's picture came back after the selection moved on.
        QCoreApplication::processEvents();
        QVERIFY(w->lblPreview->pixmap().isNull());
        QCOMPARE(w->lblPreview->text(), "正在生成预览…");
        drawing->letGo.release();
        QTRY_COMPARE(w->lblPreview->pixmap().size(), fitted(*w, folder + "/p-3.emf"));
    }

    void closingWhileAPreviewIsDrawnWaitsForNothing()
    {
        auto drawing = std::make_shared<Drawing>();
        drawing->held = true;
        const QString folder = dir.filePath("closing");
        auto w = previewWindow(folder, drawing);
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->lstFiles->setCurrentRow(0);
        QTRY_COMPARE(drawing->names().size(), 1);
        // The drawing is held, so a close that waited for it would not return.
        QVERIFY(w->close());
        QVERIFY(!w->isVisible());
        QCOMPARE(drawing->quits, 0);
        drawing->letGo.release();
        QTRY_COMPARE(drawing->quits, 1);
        QCoreApplication::processEvents();
        QVERIFY(w->lblPreview->pixmap().isNull());
        w.reset();
        QCOMPARE(drawing->started, 1);
        QCOMPARE(drawing->quits, 1);
    }

    void emptyFolderCannotStart()
    {
        const QString folder = dir.filePath("empty");
        QDir().mkpath(folder);
        frmConvert w(folder, [] { return std::make_unique<FakeRenderer>(); });
        QCOMPARE(w.lstFiles->count(), 0);
        QVERIFY(!w.CmdStart->isEnabled());
        QVERIFY(w.lblPreview->pixmap().isNull());
        // Qt draws a bar without a range as busy: here nothing is under way.
        QVERIFY(w.barProgress->maximum() > w.barProgress->minimum());
        QCOMPARE(w.barProgress->value(), w.barProgress->minimum());
        w.show();
        QCoreApplication::processEvents();
        QCOMPARE(MessageBox::takeShown().value(0).text, "该目录中没有EMF图片文件。");

        // A folder with pictures opens without a word.
        writeEmf(folder + "/page.emf", 2540, 2540);
        frmConvert withPictures(folder, [] { return std::make_unique<FakeRenderer>(); });
        withPictures.show();
        QCoreApplication::processEvents();
        QVERIFY(MessageBox::takeShown().isEmpty());
    }
};

PAGEGRAB_WIDGET_TEST_MAIN(tst_convix_window)
#include "tst_convix_window.moc"
