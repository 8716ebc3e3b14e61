#pragma once

#include <QString>
#include <QStringList>

namespace joblist {

// A name matches the mask when their last four characters are equal, case
// aside: with "*.doc", a.doc and B.DOC and a file named ".doc" do; x.docx,
// x.dot and "doc" do not. It is not a wildcard match.
bool matchesMask(const QString &name, const QString &mask);

// The matching files of one folder, hidden ones included, in the order the
// file system lists them. A folder that cannot be listed adds nothing.
void listFolder(QStringList &found, QString folder, const QString &mask);

// The matching files of a folder and of all its subfolders, depth first: a
// folder's own files, then each subfolder's whole subtree, in listing order.
// A missing final "/" is appended to folder. Every subfolder is entered,
// except through a link that leads back to a folder being scanned, which
// would make the walk endless; errors are skipped silently. Names that are
// not UTF-8 keep their bytes (see platform/NativePath.h).
void ScanFolder(QStringList &found, QString &folder, const QString &mask);

} // namespace joblist
