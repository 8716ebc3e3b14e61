#include "gui/FileDialog.h"

#include <QFileDialog>

namespace gui {
namespace {

struct Automatic {
    bool on = false;
    QList<QStringList> openAnswers;
    QList<QString> saveAnswers;
    QList<QString> folderAnswers;
    QList<FileDialog::Request> requests;
};

Automatic &automatic()
{
    static Automatic a;
    return a;
}

} // namespace

QStringList FileDialog::getOpenFileNames(QWidget *parent, const QString &title, const QString &folder,
                                         const QString &filter)
{
    auto &a = automatic();
    if (a.on) {
        a.requests.append({Kind::OpenFiles, title, folder, filter});
        return a.openAnswers.isEmpty() ? QStringList{} : a.openAnswers.takeFirst();
    }
    QFileDialog dialog(parent, title, folder, filter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList{};
}

std::optional<QString> FileDialog::getSaveFileName(QWidget *parent, const QString &title, const QString &presetPath,
                                                   const QString &filter)
{
    auto &a = automatic();
    if (a.on) {
        a.requests.append({Kind::SaveFile, title, presetPath, filter});
        if (a.saveAnswers.isEmpty())
            return std::nullopt;
        return a.saveAnswers.takeFirst();
    }
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(presetPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

QString FileDialog::getExistingDirectory(QWidget *parent, const QString &title)
{
    auto &a = automatic();
    if (a.on) {
        a.requests.append({Kind::Folder, title, {}, {}});
        return a.folderAnswers.isEmpty() ? QString() : a.folderAnswers.takeFirst();
    }
    QFileDialog dialog(parent, title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void FileDialog::answerAutomatically(bool on)
{
    automatic() = Automatic{};
    automatic().on = on;
}

void FileDialog::setNextOpenFileNames(const QStringList &files)
{
    automatic().openAnswers.append(files);
}

void FileDialog::setNextSaveFileName(const QString &file)
{
    automatic().saveAnswers.append(file);
}

void FileDialog::setNextDirectory(const QString &folder)
{
    automatic().folderAnswers.append(folder);
}

QList<FileDialog::Request> FileDialog::takeRequests()
{
    return std::exchange(automatic().requests, {});
}

} // namespace gui
