#pragma once

#include "conversion/ConvertDocument.h"

#include <QStringList>

#include <map>

namespace conversion {

// Two documents of one name in a run (report.doc from two folders) write the
// same picture names, and the later one's pictures stand, as writing them one
// after the other implies. So that the pictures of a name come from one
// document, what the earlier one wrote and the later one did not overwrite
// is removed, and the log says so once, naming both. Pictures from earlier
// runs are not this run's, and stay.
class SameNames {
public:
    // After each document is written, in list order.
    void written(const ExportedDocument &document);

private:
    struct Writer {
        QString document;
        QStringList pictures;
    };
    std::map<QString, Writer> byName_;
};

} // namespace conversion
