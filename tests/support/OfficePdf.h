#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

// The office's own PDF of a document (its command-line conversion on a
// throw-away profile like ours), as the measure of what the office's layout
// gives in this environment, automatically inserted blank pages kept; empty
// when the conversion failed.
QByteArray officePdf(const QString &document, const QString &outFolder);

int pdfPageCount(const QByteArray &pdf);

// One page of a PDF file as pdftoppm draws it at the resolution; null when
// it cannot.
QImage pdfPageImage(const QString &pdfPath, int page, int dpi);

// The words on each page of a PDF file, sorted (through pdftotext).
QList<QStringList> pdfPageWords(const QString &pdfPath);

// The fonts a PDF embeds, without their subset prefixes (ABCDEF+Name).
QStringList pdfFontNames(const QByteArray &pdf);
