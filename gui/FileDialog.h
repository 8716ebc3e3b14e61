#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace gui {

// Qt's own (non-native) file and folder dialogs, modal to their parent, so
// they look and behave the same on every desktop and in tests.
class FileDialog {
public:
    // Several existing files; an empty list when cancelled.
    static QStringList getOpenFileNames(QWidget *parent, const QString &title, const QString &folder,
                                        const QString &filter);
    // One file name, existing or not, with no overwrite question and no
    // default extension; nothing when cancelled.
    static std::optional<QString> getSaveFileName(QWidget *parent, const QString &title, const QString &presetPath,
                                                  const QString &filter);
    // A folder; the empty string when cancelled.
    static QString getExistingDirectory(QWidget *parent, const QString &title);

    // For tests: dialogs are recorded instead of shown, and answered with the
    // queued answers first, then as if cancelled.
    enum class Kind { OpenFiles, SaveFile, Folder };
    struct Request {
        Kind kind;
        QString title;
        QString folder; // the initial folder, or the preset path of a save dialog
        QString filter;
    };
    static void answerAutomatically(bool on);
    static void setNextOpenFileNames(const QStringList &files);
    static void setNextSaveFileName(const QString &file);
    static void setNextDirectory(const QString &folder);
    static QList<Request> takeRequests();
};

} // namespace gui
