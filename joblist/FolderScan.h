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
// A missing final "/" is appended to folder. Each real folder is entered,
// and each document listed, once, under the first path that reaches it, so
// links cost no more than the folders they lead to and loops end; errors
// are skipped silently. Names that are
// not UTF-8 keep their bytes (see platform/NativePath.h).
void ScanFolder(QStringList &found, QString &folder, const QString &mask);

} // namespace joblist
