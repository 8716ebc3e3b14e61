#pragma once

#include "conversion/PageRange.h"
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

// Called with every page picture the office copied, wanted or not empty.
using PictureCopied = std::function<void(const office::Picture &)>;

// Exports the wanted pages of one document as stem-N.emf files through a
// fresh office instance, skipping failed steps one by one. Writes one log
// line with the last failure's description when anything failed, and then
// returns true.
bool ConvertDocument(const DocumentJob &job, const office::ApplicationFactory &startOffice,
                     const PictureCopied &pictureCopied = {});

} // namespace conversion
