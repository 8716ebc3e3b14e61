#pragma once

// Internal to office/: a document's bytes as the office gets them. The office
// is handed the bytes, not the path, so it needs no access to the document's
// folder, a name that is not UTF-8 reaches it unchanged, and a link relative
// to the document has nothing to resolve against.

#include <com/sun/star/uno/Sequence.hxx>

#include <QString>

#include <cstdint>

#include <sys/types.h>

namespace office {

struct DocumentFile {
    com::sun::star::uno::Sequence<sal_Int8> bytes;
    mode_t permissions = 0; // of the descriptor the bytes were read from
    gid_t group = 0;        // of that descriptor too
};

// The whole file; throws Failure with the system's message when it cannot be read.
// `largest` bounds the file's size: its bytes are held here and once more on
// their way to the office, so a file the office could never read in its
// memory bound is refused before it fills ours.
DocumentFile readDocument(const QString &path, std::int64_t largest);

} // namespace office
