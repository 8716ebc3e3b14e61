// The job list: its four buttons and the count of jobs.

#include "app/frmMain.h"

#include "app/AddFilesFolder.h"
#include "app/FrmPath.h"
#include "app/JobItem.h"
#include "gui/BusyPointer.h"
#include "gui/FileDialog.h"
#include "gui/MessageBox.h"
#include "gui/ModalDialog.h"
#include "joblist/Entries.h"
#include "platform/NativePath.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTreeWidget>

void frmMain::CmdFileOp_Click(int Index)
{
    switch (Index) {
    case 0:
        addFiles();
        break;
    case 1:
        addFolder();
        break;
    case 2:
        removeSelected();
        break;
    case 3:
        clearAll();
        break;
    }
}

void frmMain::addFiles()
{
    // The log picker's folder while it is set, otherwise where files were
    // last added from.
    const QString folder = dialogFolder_.isEmpty() ? lastAddFilesFolder() : dialogFolder_;
    const QStringList chosen = gui::FileDialog::getOpenFileNames(
        this, "新增", folder, "Word文件(*.doc);;文字处理文档(*.doc *.docx *.rtf *.odt *.wps)");
    if (chosen.isEmpty())
        return;
    rememberAddFilesFolder(chosen);
    const auto entries = joblist::pickedFileEntries(chosen);
    if (!entries) {
        gui::MessageBox::show(this, "您选择的文件名数超过了Windows系统的最大限制，请分批次加入文件！");
        refreshCount();
        return;
    }
    for (const QString &entry : *entries)
        ListView2->addTopLevelItem(newJobItem(entry));
    refreshCount();
}

void frmMain::addFolder()
{
    QString folder;
    bool subfolders = false;
    {
        FrmPath dialog(this);
        gui::showModal(dialog);
        folder = dialog.txtFolder->text();
        subfolders = dialog.ChkSubdir->isChecked();
    }
    if (folder.trimmed().isEmpty())
        return;
    addScannedJobs([&] { return joblist::folderEntries(folder, subfolders); });
}

void frmMain::addScannedJobs(const std::function<QStringList()> &scan)
{
    // A folder tree may take a while to scan.
    gui::setBusyPointer(true);
    QList<QTreeWidgetItem *> items;
    for (const QString &path : scan())
        items << newJobItem(path);
    ListView2->addTopLevelItems(items);
    gui::setBusyPointer(false);
    refreshCount();
}

bool frmMain::takeDrop(QEvent *event)
{
    // Files from a file manager, as the add dialogs would add them; the list
    // keeps still while a run uses it.
    auto *drop = static_cast<QDropEvent *>(event);
    // Each path by its bytes: a name that is not UTF-8 stays the file's name.
    QStringList paths;
    for (const QUrl &url : drop->mimeData()->urls())
        if (url.isLocalFile())
            paths << platform::fromNativePath(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
    if (running_ || paths.isEmpty()) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (event->type() == QEvent::Drop)
        addScannedJobs([&] { return joblist::droppedEntries(paths); });
    return true;
}

void frmMain::removeSelected()
{
    QTreeWidgetItem *item = ListView2->currentItem();
    if (item && item->isSelected())
        delete ListView2->takeTopLevelItem(ListView2->indexOfTopLevelItem(item));
    refreshCount();
}

void frmMain::clearAll()
{
    if (ListView2->topLevelItemCount() == 0)
        return;
    if (gui::MessageBox::show(this, "确定要清空处理列表吗？", gui::Icon::Question, gui::Buttons::YesNo)
        == gui::Answer::Yes)
        ListView2->clear();
    refreshCount();
}

void frmMain::refreshCount()
{
    lblInput->setText(QStringLiteral("待处理文件%1项").arg(ListView2->topLevelItemCount()));
    lblProcessing->setText("");
}
