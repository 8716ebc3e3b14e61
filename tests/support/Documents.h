#pragma once

#include <QString>
#include <QStringList>

// Documents the tests make themselves, as flat OpenDocument text, with a
// layout known in advance. Paper is A4 (21000 x 29700 hundredths of a mm).
namespace documents {

// Pages of one short paragraph each, separated by page breaks.
QString pages(const QString &folder, const QString &name, int count);
// A portrait page, a landscape page, then a portrait page again.
QString withLandscapePage(const QString &folder, const QString &name);
// One table long enough to run over a page boundary (three pages in all).
QString tableAcrossPages(const QString &folder, const QString &name);
// Page 1 with a header and a footer, then a section that must start on a
// right page, so the office inserts a blank page 2; page 3 follows.
QString withBlankPage(const QString &folder, const QString &name);
// A paragraph with a comment, hidden text and an input field.
QString withCommentHiddenTextAndField(const QString &folder, const QString &name);
// One paragraph per face, its text the face's name, written in it (for
// Western and Chinese text alike).
QString inFaces(const QString &folder, const QString &name, const QStringList &faces);
// A header with the document's file name and a body line with its full
// path, both as fields the office fills in (their stored text is "stale").
QString withFileNameFields(const QString &folder, const QString &name);
// One short line at the top of a page whose header holds a watermark in the
// page's middle: "DRAFT CONTRACT" in grey at half opacity, letters as outlines.
QString withWatermark(const QString &folder, const QString &name);
// One page of Chinese text.
QString chineseText(const QString &folder, const QString &name, const QString &text);

// The real test documents that open (all but the encrypted and the damaged one).
QStringList readableTestDocuments();

} // namespace documents
