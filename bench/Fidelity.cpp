#include "Fidelity.h"

#include "conversion/FileNaming.h"
#include "convix/Batch.h"
#include "office/PictureRenderer.h"
#include "office/Profile.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// The office's own PDF of a document, blank pages kept, as pages at 96 dpi in grey.
QList<QImage> officePages(const QString &document, const QString &workFolder)
{
    const office::Profile profile;
    QProcess office;
    for (int attempt = 0; attempt < 2; ++attempt) {
        office.start(LIBREOFFICE_PROGRAM_DIR "/soffice.bin",
                     {"-env:UserInstallation=" + profile.url(), "--headless", "--norestore", "--convert-to",
                      R"(pdf:writer_pdf_Export:{"IsSkipEmptyPages":{"type":"boolean","value":"false"}})", "--outdir",
                      workFolder, document});
        office.waitForFinished(-1);
        // A profile that is not a copy of a complete one asks for one restart.
        if (office.exitCode() != 81)
            break;
    }
    const QString pdf = workFolder + "/" + QFileInfo(document).completeBaseName() + ".pdf";
    const QString prefix = workFolder + "/page";
    QProcess::execute("pdftoppm", {"-r", "96", "-gray", pdf, prefix});
    QList<QImage> pages;
    QStringList files = QDir(workFolder).entryList({"page-*.pgm"}, QDir::Files);
    std::sort(files.begin(), files.end(), [](const QString &a, const QString &b) {
        return a.mid(5).section('.', 0, 0).toInt() < b.mid(5).section('.', 0, 0).toInt();
    });
    for (const QString &file : files) {
        pages << QImage(workFolder + "/" + file).convertToFormat(QImage::Format_Grayscale8);
        QFile::remove(workFolder + "/" + file);
    }
    QFile::remove(pdf);
    return pages;
}

double difference(const QImage &a, const QImage &b)
{
    // Sizes can differ by a pixel of rounding; the common area counts.
    const int width = std::min(a.width(), b.width());
    const int height = std::min(a.height(), b.height());
    if (width <= 0 || height <= 0)
        return 1;
    double sum = 0;
    for (int y = 0; y < height; ++y) {
        const uchar *p = a.constScanLine(y);
        const uchar *q = b.constScanLine(y);
        for (int x = 0; x < width; ++x)
            sum += std::abs(int(p[x]) - int(q[x]));
    }
    return sum / (255.0 * width * height);
}

void saveBeside(const QImage &ours, const QImage &theirs, const QString &path)
{
    constexpr int kGap = 8;
    QImage both(ours.width() + kGap + theirs.width(), std::max(ours.height(), theirs.height()),
                QImage::Format_Grayscale8);
    both.fill(Qt::gray);
    QPainter painter(&both);
    painter.drawImage(0, 0, ours);
    painter.drawImage(ours.width() + kGap, 0, theirs);
    painter.end();
    both.save(path, "PNG");
}

} // namespace

QString measureFidelity(const QStringList &documents, const QString &outputFolder, const QString &workFolder,
                        const QString &besideFolder)
{
    if (!besideFolder.isEmpty())
        QDir().mkpath(besideFolder);
    auto renderer = office::startPictureRenderer();
    std::vector<std::pair<double, QString>> pages;
    for (const QString &document : documents) {
        const QList<QImage> theirs = officePages(document, workFolder);
        for (int page = 1; page <= theirs.size(); ++page) {
            const QString ours = conversion::pageFileName(outputFolder, document, page);
            if (!QFileInfo::exists(ours))
                continue;
            const QImage grey = convix::onWhitePaper(QImage::fromData(renderer->render(ours, theirs[page - 1].size())))
                                    .convertToFormat(QImage::Format_Grayscale8);
            const double d = difference(grey, theirs[page - 1]);
            if (!besideFolder.isEmpty())
                saveBeside(grey, theirs[page - 1], besideFolder + "/" + QFileInfo(ours).completeBaseName() + ".png");
            std::printf("  %-40s %.3f\n", qPrintable(QFileInfo(ours).fileName()), d);
            pages.emplace_back(d, QFileInfo(ours).fileName());
        }
    }
    renderer->quit();
    if (pages.empty())
        return "fidelity: pages 0";
    std::vector<double> values;
    for (const auto &[d, name] : pages)
        values.push_back(d);
    std::sort(values.begin(), values.end());
    const double median = values.size() % 2 ? values[values.size() / 2]
                                            : (values[values.size() / 2 - 1] + values[values.size() / 2]) / 2;
    const auto worst = std::max_element(pages.begin(), pages.end());
    return QStringLiteral("fidelity: pages %1, median %2, max %3, worst %4")
        .arg(pages.size())
        .arg(median, 0, 'f', 3)
        .arg(worst->first, 0, 'f', 3)
        .arg(worst->second);
}
