#pragma once

#include "conversion/PageRange.h"
#include "log/WriteLog.h"
#include "office/Application.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

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

// A document's pages as the office gave them, not yet written. Each step of
// the export is numbered, so that writing the pictures later still leaves
// the description of the failure that came last, as writing them at once
// would have.
struct ExportedDocument {
    struct Page {
        QString fileName;
        QByteArray emf;
        int step;
    };
    DocumentJob job;
    QList<Page> pages;
    QString failure;
    int failureStep = -1;
    bool interrupted = false;
    // The document's own; a picture is never more readable than its
    // document (a server converting a stranger's private file).
    mode_t permissions = 0600;
};

// Called with every page picture the office copied, wanted or not empty.
using PictureCopied = std::function<void(const office::Picture &)>;

// The office's part of a document's export, through a fresh office
// instance: the wanted pages' pictures, named stem-N.emf, with failed steps
// skipped one by one. Writes nothing and never raises: even an unexpected
// error ends as the document's failure.
ExportedDocument exportDocument(const DocumentJob &job, const office::ApplicationFactory &startOffice,
                                const PictureCopied &pictureCopied = {});

// Writes an exported document's pictures whole, in page order, with the
// document's read and write bits (the umask applies as usual), and, when
// anything failed, one log line with the last failure's description.
DocumentOutcome commitDocument(const ExportedDocument &document);

// Both, one after the other: the export of one document as a run does it.
DocumentOutcome ConvertDocument(const DocumentJob &job, const office::ApplicationFactory &startOffice,
                                const PictureCopied &pictureCopied = {});

} // namespace conversion
