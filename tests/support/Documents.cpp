#include "support/Documents.h"

#include <QDir>
#include <QFile>


namespace documents {
namespace {

const char kHead[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:dc="http://purl.org/dc/elements/1.1/"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.text">
<office:automatic-styles>
 <style:page-layout style:name="Portrait"><style:page-layout-properties fo:page-width="210mm" fo:page-height="297mm" style:print-orientation="portrait" fo:margin-top="20mm" fo:margin-bottom="20mm" fo:margin-left="20mm" fo:margin-right="20mm"/></style:page-layout>
 <style:page-layout style:name="Landscape"><style:page-layout-properties fo:page-width="297mm" fo:page-height="210mm" style:print-orientation="landscape" fo:margin-top="20mm" fo:margin-bottom="20mm" fo:margin-left="20mm" fo:margin-right="20mm"/></style:page-layout>
 <style:page-layout style:name="RightOnly" style:page-usage="right"><style:page-layout-properties fo:page-width="210mm" fo:page-height="297mm" fo:margin-top="20mm" fo:margin-bottom="20mm" fo:margin-left="20mm" fo:margin-right="20mm"/></style:page-layout>
 <style:style style:name="ToRight" style:family="paragraph" style:master-page-name="Right"/>
 <style:style style:name="ToHeaded" style:family="paragraph" style:master-page-name="Headed"/>
 <style:style style:name="Hidden" style:family="text"><style:text-properties text:display="none"/></style:style>
 <style:style style:name="Break" style:family="paragraph"><style:paragraph-properties fo:break-before="page"/></style:style>
 <style:style style:name="ToLandscape" style:family="paragraph" style:master-page-name="Wide"/>
 <style:style style:name="ToPortrait" style:family="paragraph" style:master-page-name="Standard"/>
 <style:style style:name="ToMarked" style:family="paragraph" style:master-page-name="Marked"/>
 <style:style style:name="MarkLetters" style:family="paragraph"><style:text-properties fo:font-size="66pt" fo:font-family="Liberation Sans"/></style:style>
 <style:style style:name="Mark" style:family="graphic"><style:graphic-properties draw:stroke="none" draw:fill="solid" draw:fill-color="#808080" draw:opacity="50%" style:run-through="background" style:wrap="run-through" draw:auto-grow-height="false" draw:auto-grow-width="false"/></style:style>
</office:automatic-styles>
<office:master-styles>
 <style:master-page style:name="Standard" style:page-layout-name="Portrait"/>
 <style:master-page style:name="Wide" style:page-layout-name="Landscape"/>
 <style:master-page style:name="Right" style:page-layout-name="RightOnly"/>
 <style:master-page style:name="Marked" style:page-layout-name="Portrait"><style:header><text:p><draw:custom-shape text:anchor-type="paragraph" draw:style-name="Mark" svg:x="10mm" svg:y="100mm" svg:width="150mm" svg:height="60mm"><text:p text:style-name="MarkLetters">DRAFT CONTRACT</text:p><draw:enhanced-geometry svg:viewBox="0 0 21600 21600" draw:type="fontwork-plain-text" draw:text-path="true" draw:text-path-mode="shape" draw:text-path-scale="shape" draw:enhanced-path="M 0 0 L 21600 0 N M 0 21600 L 21600 21600 N"/></draw:custom-shape></text:p></style:header></style:master-page>
 <style:master-page style:name="Headed" style:page-layout-name="Portrait"><style:header><text:p>Header text</text:p></style:header><style:footer><text:p>Footer text</text:p></style:footer></style:master-page>
</office:master-styles>
<office:body><office:text>
)";

const char kTail[] = "</office:text></office:body></office:document>\n";

QString write(const QString &folder, const QString &name, const QString &body)
{
    const QString path = QDir(folder).filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QByteArray(kHead) + body.toUtf8() + kTail);
    return path;
}

} // namespace

QString pages(const QString &folder, const QString &name, int count)
{
    QString body = "<text:p>Page 1</text:p>\n";
    for (int i = 2; i <= count; ++i)
        body += QStringLiteral("<text:p text:style-name=\"Break\">Page %1</text:p>\n").arg(i);
    return write(folder, name, body);
}

QString withLandscapePage(const QString &folder, const QString &name)
{
    return write(folder, name,
                 "<text:p>Portrait</text:p>\n"
                 "<text:p text:style-name=\"ToLandscape\">Landscape</text:p>\n"
                 "<text:p text:style-name=\"ToPortrait\">Portrait again</text:p>\n");
}

QString tableAcrossPages(const QString &folder, const QString &name)
{
    QString body = "<text:p>Before the table</text:p>\n<table:table table:name=\"Long\">"
                   "<table:table-column table:number-columns-repeated=\"2\"/>\n";
    for (int row = 1; row <= 80; ++row)
        body += QStringLiteral("<table:table-row><table:table-cell><text:p>Row %1</text:p></table:table-cell>"
                               "<table:table-cell><text:p>Value %1</text:p></table:table-cell></table:table-row>\n")
                    .arg(row);
    body += "</table:table>\n<text:p text:style-name=\"Break\">After the table</text:p>\n";
    return write(folder, name, body);
}

QString withBlankPage(const QString &folder, const QString &name)
{
    return write(folder, name,
                 "<text:p text:style-name=\"ToHeaded\">First page</text:p>\n"
                 "<text:p text:style-name=\"ToRight\">After the blank page</text:p>\n");
}

QString withCommentHiddenTextAndField(const QString &folder, const QString &name)
{
    return write(folder, name,
                 "<text:p>Shown<office:annotation><dc:creator>Reviewer</dc:creator><text:p>Comment words</text:p>"
                 "</office:annotation> text <text:span text:style-name=\"Hidden\">Hidden words</text:span>"
                 "<text:text-input text:description=\"Field\">Field value</text:text-input></text:p>\n");
}

QString inFaces(const QString &folder, const QString &name, const QStringList &faces)
{
    QString styles;
    QString body;
    for (int i = 0; i < faces.size(); ++i) {
        styles += QStringLiteral("<style:style style:name=\"Face%1\" style:family=\"paragraph\"><style:text-properties "
                                 "fo:font-family=\"%2\" style:font-family-asian=\"%2\"/></style:style>\n")
                      .arg(i)
                      .arg(faces[i].toHtmlEscaped());
        body += QStringLiteral("<text:p text:style-name=\"Face%1\">%2</text:p>\n").arg(i).arg(faces[i].toHtmlEscaped());
    }
    QString document = write(folder, name, body);
    QFile file(document);
    if (file.open(QIODevice::ReadWrite)) {
        QByteArray xml = file.readAll();
        xml.replace("</office:automatic-styles>", styles.toUtf8() + "</office:automatic-styles>");
        file.resize(0);
        file.write(xml);
    }
    return document;
}

QString withFileNameFields(const QString &folder, const QString &name)
{
    const QString document = write(
        folder, name,
        "<text:p text:style-name=\"ToHeaded\">Path: <text:file-name text:display=\"full\">stale</text:file-name>"
        "</text:p>\n");
    QFile file(document);
    if (file.open(QIODevice::ReadWrite)) {
        QByteArray xml = file.readAll();
        xml.replace(
            "<text:p>Header text</text:p>",
            "<text:p>Name: <text:file-name text:display=\"name-and-extension\">stale</text:file-name></text:p>");
        file.resize(0);
        file.write(xml);
    }
    return document;
}

QString withWatermark(const QString &folder, const QString &name)
{
    return write(folder, name, "<text:p text:style-name=\"ToMarked\">Terms above the watermark</text:p>\n");
}

QString chineseText(const QString &folder, const QString &name, const QString &text)
{
    return write(folder, name, "<text:p>" + text + "</text:p>\n");
}

QStringList readableTestDocuments()
{
    QStringList names;
    for (const QString &name : QDir(PAGEGRAB_TESTDOCS).entryList({"*.doc"}, QDir::Files, QDir::Name))
        if (!name.startsWith("PasswordProtected") && !name.startsWith("fuzzed"))
            names << name;
    return names;
}

} // namespace documents
