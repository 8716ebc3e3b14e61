#pragma once

#include "conversion/BatchRun.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace conversion {

// A run as a front end collected it, before any check.
struct BatchRequest {
    struct PageRangeText {
        QString from, to;
    };
    QStringList documents; // in list order
    QString outputFolder;  // as typed
    QString logFile;
    std::optional<PageRangeText> range; // nothing: all pages
    int documentsInFlight = 1;
};

// What keeps a batch from running, in the order the checks find them.
enum class BatchProblem {
    NoDocuments,
    NoOutputFolder,
    LogNotPlainText,
    OutputFolderNotMade,
    NoLogFile,
    BadPageRange,
};

struct CheckedBatch {
    // As far as the checks went: once the output folder is named, it ends
    // in "/" (a front end shows it so) whatever comes after.
    Batch batch;
    std::optional<BatchProblem> problem; // the first one found
    QString folderNotMadeBecause;        // the system's reason, for OutputFolderNotMade
};

// The one check every front end runs before a batch: the documents, the
// output folder (made, one level, when it is missing), the log, then the
// page range, stopping at the first problem. A log that holds anything but
// plain text is refused before anything is made, and before a line could
// go into a person's document.
CheckedBatch checkBatch(const BatchRequest &request);

// What the user is told of the problem the check found.
QString describe(const CheckedBatch &checked);

} // namespace conversion
