#pragma once

#include "conversion/PageRange.h"
#include "log/WriteLog.h"
#include "office/Application.h"
#include "platform/WholeFile.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace conversion {

// What one document's export needs, taken when its turn comes.
struct DocumentJob {
    QString path;
    QString outputFolder; // ends in "/"
    QString logFile;
    std::optional<PageRange> range; // nothing: all pages
};

// How a document ended: the last failure's description (empty when every
// wanted page was written), and whether its log line reached the log.
struct DocumentOutcome {
    QString failure;
    LogWrite log;
    int pagesWritten = 0;
    bool interrupted = false; // its office was ended because the run was
    bool failed() const { return !failure.isEmpty(); }
};

// A document's pages as the office gave them, on disk in the output folder
// as they came but not yet named: a document of many pages costs us no
// more memory than one of few. Each step of the export is numbered, so that
// naming the pictures later still leaves the description of the failure
// that came last, as writing them at once would have.
struct ExportedDocument {
    struct Page {
        QString fileName;
        platform::UnnamedFile picture;
        int step;
    };
    DocumentJob job;
    // Opened for the first picture; declared first, so it is closed after
    // the pictures made relative to it.
    platform::Descriptor outputFolder;
    std::vector<Page> pages;
    QString failure;
    int failureStep = -1;
    bool interrupted = false;
};

// A picture's name in the job's output folder, as the file system holds it.
QByteArray nameInOutputFolder(const DocumentJob &job, const QString &picture);

// Called with every page picture the office copied, wanted or not empty.
using PictureCopied = std::function<void(const office::Picture &)>;

// The office's part of a document's export, through a fresh office
// instance: the wanted pages' pictures, to be named stem-N.emf, each written
// without a name as it comes, with the document's read and write bits (the
// umask applies as usual) and never a group that could not read the
// document; failed steps are skipped one by one. Names nothing and never
// raises: even an unexpected error ends as the document's failure.
ExportedDocument exportDocument(const DocumentJob &job, const office::ApplicationFactory &startOffice,
                                const PictureCopied &pictureCopied = {});

// Names an exported document's pictures, in page order, and, when anything
// failed, writes one log line with the last failure's description.
DocumentOutcome commitDocument(ExportedDocument &document);

// Both, one after the other: the export of one document as a run does it.
DocumentOutcome ConvertDocument(const DocumentJob &job, const office::ApplicationFactory &startOffice,
                                const PictureCopied &pictureCopied = {});

} // namespace conversion
