#include "support/OfficePdf.h"

#include "office/Profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

// Automatically inserted blank pages are pages of the layout, as they are of ours.
const char kBlankPagesKept[] = R"(pdf:writer_pdf_Export:{"IsSkipEmptyPages":{"type":"boolean","value":"false"}})";

QByteArray officePdf(const QString &document, const QString &outFolder)
{
    const office::Profile profile;
    QProcess office;
    office.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    for (int attempt = 0; attempt < 2; ++attempt) {
        office.start(LIBREOFFICE_PROGRAM_DIR "/soffice.bin",
                     {"-env:UserInstallation=" + profile.url(), "--headless", "--norestore", "--convert-to",
                      kBlankPagesKept, "--outdir", outFolder, document});
        office.waitForFinished(120000);
        // A brand-new profile asks for one restart.
        if (office.exitCode() != 81)
            break;
    }
    QFile pdf(QDir(outFolder).filePath(QFileInfo(document).completeBaseName() + ".pdf"));
    return pdf.open(QIODevice::ReadOnly) ? pdf.readAll() : QByteArray();
}

int pdfPageCount(const QByteArray &pdf)
{
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
    return static_cast<int>(QString::fromLatin1(pdf).count(page));
}

QImage pdfPageImage(const QString &pdfPath, int page, int dpi)
{
    QProcess draw;
    draw.start("pdftoppm", {"-png", "-r", QString::number(dpi), "-f", QString::number(page), "-l",
                            QString::number(page), "-singlefile", pdfPath});
    draw.waitForFinished(60000);
    return QImage::fromData(draw.readAllStandardOutput(), "PNG");
}

QList<QStringList> pdfPageWords(const QString &pdfPath)
{
    QProcess text;
    text.start("pdftotext", {"-enc", "UTF-8", pdfPath, "-"});
    text.waitForFinished(60000);
    QList<QStringList> pages;
    // Pages end in a form feed.
    for (const QString &page : QString::fromUtf8(text.readAllStandardOutput()).split('\f')) {
        QStringList words = page.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        words.sort();
        pages << words;
    }
    if (!pages.isEmpty() && pages.last().isEmpty())
        pages.removeLast();
    return pages;
}

QStringList pdfFontNames(const QByteArray &pdf)
{
    static const QRegularExpression font(QStringLiteral("/BaseFont\\s*/(?:[A-Z]{6}\\+)?([^\\s/>\\[]+)"));
    QStringList names;
    for (const auto &match : font.globalMatch(QString::fromLatin1(pdf)))
        if (!names.contains(match.captured(1)))
            names << match.captured(1);
    return names;
}
