#include "support/OfficePdf.h"

#include "office/Profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

QByteArray officePdf(const QString &document, const QString &outFolder)
{
    const office::Profile profile;
    QProcess office;
    office.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    for (int attempt = 0; attempt < 2; ++attempt) {
        office.start(LIBREOFFICE_PROGRAM_DIR "/soffice.bin", {"-env:UserInstallation=" + profile.url(), "--headless",
                                                              "--norestore", "--convert-to", "pdf", "--outdir",
                                                              outFolder, document});
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

QStringList pdfFontNames(const QByteArray &pdf)
{
    static const QRegularExpression font(QStringLiteral("/BaseFont\\s*/(?:[A-Z]{6}\\+)?([^\\s/>\\[]+)"));
    QStringList names;
    for (const auto &match : font.globalMatch(QString::fromLatin1(pdf)))
        if (!names.contains(match.captured(1)))
            names << match.captured(1);
    return names;
}
