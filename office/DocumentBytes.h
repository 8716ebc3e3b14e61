#pragma once

// Internal to office/: a document's bytes as the office gets them. The office
// is handed the bytes, not the path, so it needs no access to the document's
// folder, a name that is not UTF-8 reaches it unchanged, and a link relative
// to the document has nothing to resolve against.

#include <com/sun/star/uno/Sequence.hxx>

#include <QString>

namespace office {

// The whole file; throws Failure with the system's message when it cannot be read.
com::sun::star::uno::Sequence<sal_Int8> readDocument(const QString &path);

} // namespace office
