#pragma once

#include "conversion/PageRange.h"
#include "log/WriteLog.h"
#include "office/Application.h"

#include <QString>

#include <functional>
#include <optional>

namespace conversion {

// What one document's export needs from the window, taken when its turn comes.
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
    bool failed() const { return !failure.isEmpty(); }
};

// Called with every page picture the office copied, wanted or not empty.
using PictureCopied = std::function<void(const office::Picture &)>;

// Exports the wanted pages of one document as stem-N.emf files through a
// fresh office instance, skipping failed steps one by one. When anything
// failed, writes one log line with the last failure's description. Never
// raises: even an unexpected error ends as that document's one log line.
DocumentOutcome ConvertDocument(const DocumentJob &job, const office::ApplicationFactory &startOffice,
                                const PictureCopied &pictureCopied = {});

} // namespace conversion
