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
// A missing final "/" is appended to folder. Every folder is entered once
// per scan, so links that lead back to an ancestor cannot make it endless;
// errors are skipped silently.
void ScanFolder(QStringList &found, QString &folder, const QString &mask);

} // namespace joblist
