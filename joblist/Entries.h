#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace joblist {

// The entries a selection of the add-files dialog adds: one file by its
// full path; several by the dialog's folder, a "/" and each name (so two
// separators at the root). Nothing when the selection would not have fit
// the dialog's name buffer of 32767 characters.
std::optional<QStringList> pickedFileEntries(const QStringList &chosen);

// The entries an added folder gives: its documents, and with subfolders
// theirs too, in the folder scan's order.
QStringList folderEntries(QString folder, bool subfolders);

// The entries files dropped on the job list give, in the order dropped: a
// folder its documents and its subfolders' (as the folder dialog with its
// subfolder box checked), a document (a name the add-files dialog's filter
// shows) itself, anything else nothing.
QStringList droppedEntries(const QStringList &paths);

} // namespace joblist
