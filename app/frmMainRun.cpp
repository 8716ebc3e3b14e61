// The batch run and the page range controls.

#include "app/frmMain.h"

#include "app/JobItem.h"
#include "conversion/BatchCheck.h"
#include "conversion/PageRange.h"
#include "gui/BusyPointer.h"
#include "gui/Clipboard.h"
#include "gui/DefaultApplication.h"
#include "gui/InputHold.h"
#include "gui/MessageBox.h"
#include "log/WriteLog.h"
#include "office/LibreOffice.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

namespace {

// The character code a key press stands for, as the range boxes see it:
// Ctrl with a letter is its control character (Ctrl+V is 22); keys that
// type nothing (arrows) stand for none, nor do Delete and Tab, which X11
// delivers with the text "\x7f" and "\t" but which edit the box or move the
// focus instead of typing.
std::optional<int> keyAscii(const QKeyEvent *key)
{
    if ((key->modifiers() & Qt::ControlModifier) && key->key() >= Qt::Key_A && key->key() <= Qt::Key_Z)
        return key->key() - Qt::Key_A + 1;
    if (key->key() == Qt::Key_Delete || key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)
        return std::nullopt;
    if (key->key() == Qt::Key_Backspace)
        return 8;
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
        return 13;
    if (key->text().isEmpty())
        return std::nullopt;
    return key->text().at(0).unicode();
}

} // namespace

void frmMain::CmdDo_Click()
{
    if (running_) {
        stopRun();
        return;
    }
    conversion::BatchRequest request{{}, txtOutDir->text(), txtLog->text(), std::nullopt, services_.documentsInFlight};
    for (int i = 0; i < ListView2->topLevelItemCount(); ++i)
        request.documents << jobPath(ListView2->topLevelItem(i));
    if (OptSlides2->isChecked())
        request.range = {txtFrom->text(), txt2->text()};
    const conversion::CheckedBatch checked = conversion::checkBatch(request);
    if (!checked.batch.outputFolder.isEmpty())
        txtOutDir->setText(checked.batch.outputFolder);
    if (checked.problem) {
        gui::MessageBox::show(this, conversion::describe(checked));
        // Where a name is missing, the picker for it comes up at once.
        if (checked.problem == conversion::BatchProblem::NoOutputFolder)
            Command2_Click();
        else if (checked.problem == conversion::BatchProblem::NoLogFile)
            Command1_Click();
        return;
    }

    // The run's button stops it; the rest of the window waits for its end.
    const QString startCaption = CmdDo->text();
    CmdDo->setText("停止转换");
    txtOutDir->setEnabled(false);
    txtLog->setEnabled(false);
    gui::setBusyPointer(true);
    ErrorsLogged = false;
    // A document may read other files or reach the network where the system
    // refuses a layer of the offices' confinement: the log says so, once.
    const QStringList unconfined = office::confinementShortfalls();
    if (!unconfined.isEmpty())
        ErrorsLogged = WriteLogNote(txtLog->text(), "本次处理的文档未被隔离：" + unconfined.join("；")).written;
    running_ = true;
    const conversion::RunSummary summary = runBatch(checked.batch);
    running_ = false;
    gui::setBusyPointer(false);
    CmdDo->setText(startCaption);
    CmdDo->setEnabled(true);
    if (stopping_) {
        stopForTermination();
        return;
    }
    txtOutDir->setEnabled(true);
    // Closed during the run: the documents in flight have ended, and the
    // window goes without a word.
    if (std::exchange(closeRequested_, false)) {
        txtLog->setEnabled(true);
        close();
        return;
    }
    showRunEnd(summary, checked.batch.outputFolder);
    txtLog->setEnabled(true);
}

void frmMain::stopRun()
{
    if (batch_)
        batch_->stop();
    CmdDo->setEnabled(false);
    CmdDo->setText("正在停止…");
}

void frmMain::showRunEnd(const conversion::RunSummary &summary, const QString &outputFolder)
{
    const QString end = summary.notStarted() > 0
                            ? QStringLiteral("转换已停止！%1个文档未处理。").arg(summary.notStarted())
                            : QStringLiteral("转换完毕！");
    if (gui::MessageBox::show(this, end, gui::Icon::Information, gui::Buttons::Ok, "打开图片保存目录")
        == gui::Answer::Action)
        openOrSayWhere(outputFolder, "系统中没有可以打开图片保存目录的程序，请用文件管理器查看：");
    lblProcessing->setText("处理完毕！");
    // Failures must not vanish with a log that cannot be written: the user
    // sees them instead of an offer to open the log, the first ones in full.
    if (!summary.unlogged.isEmpty())
        gui::MessageBox::show(this, conversion::unloggedFailuresNotice(summary, txtLog->text(), 20));
    ErrorsLogged = ErrorsLogged || summary.failuresLogged;
    if (ErrorsLogged) {
        const gui::Answer answer = gui::MessageBox::show(this,
                                                         "日志文件记录了处理过程中发生的异常，\r\n是否查看日志文件？",
                                                         gui::Icon::Question, gui::Buttons::OkCancel);
        if (answer == gui::Answer::Ok)
            openOrSayWhere(txtLog->text(), "系统中没有可以打开日志文件的程序，请用文本编辑器查看：");
        ErrorsLogged = false;
    }
}

void frmMain::openOrSayWhere(const QString &path, const QString &noOpener)
{
    // Without the desktop's opener the answer must not come to nothing.
    if (!gui::openWithDefaultApplication(path))
        gui::MessageBox::show(this, noOpener + path);
}

void frmMain::stopForTermination()
{
    stopping_ = true;
    if (batch_)
        batch_->interrupt();
    if (running_)
        return;
    Form_Unload();
    QCoreApplication::quit();
}

conversion::RunSummary frmMain::runBatch(const conversion::Batch &batch)
{
    // The documents convert beside the window, which keeps repainting and
    // holds the user's input back until the run is over, but for its stop
    // and a close from the window manager.
    QEventLoop waiting;
    const gui::InputHold hold(CmdDo);
    conversion::BatchRun run(
        batch, services_.offices,
        {[this](int number) {
             QMetaObject::invokeMethod(
                 this,
                 [this, number] {
                     lblProcessing->setText(QStringLiteral("正在处理第%1个文件").arg(number));
                     lblProcessing->repaint();
                 },
                 Qt::QueuedConnection);
         },
         [this](const office::Picture &picture) {
             QMetaObject::invokeMethod(
                 this, [emf = picture.emf] { gui::putPictureOnClipboard(emf); }, Qt::QueuedConnection);
         },
         {},
         [&waiting] { QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection); }});
    batch_ = &run;
    run.start();
    waiting.exec();
    const conversion::RunSummary summary = run.wait();
    batch_ = nullptr;
    // Progress posted before the end shows before the end's texts.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    return summary;
}

void frmMain::OptSlidesAll_Click()
{
    txtFrom->setEnabled(!OptSlidesAll->isChecked());
    txt2->setEnabled(!OptSlidesAll->isChecked());
}

void frmMain::OptSlides2_Click()
{
    txtFrom->setEnabled(!OptSlidesAll->isChecked());
    txt2->setEnabled(!OptSlidesAll->isChecked());
    if (OptSlides2->isChecked())
        txtFrom->setFocus();
}

void frmMain::txtFrom_KeyPress(int &KeyAscii)
{
    if (!conversion::isRangeKey(KeyAscii))
        KeyAscii = 0;
}

void frmMain::txt2_KeyPress(int &KeyAscii)
{
    if (!conversion::isRangeKey(KeyAscii))
        KeyAscii = 0;
}

bool frmMain::filterRangeKey(QObject *box, QEvent *event)
{
    if (event->type() == QEvent::InputMethod) {
        // Text an input method commits (how Chinese users type) goes through
        // the filter character by character, as typed keys do.
        auto *input = static_cast<QInputMethodEvent *>(event);
        QString kept;
        for (const QChar c : input->commitString()) {
            int KeyAscii = c.unicode();
            box == txtFrom ? txtFrom_KeyPress(KeyAscii) : txt2_KeyPress(KeyAscii);
            if (KeyAscii != 0)
                kept += QChar(KeyAscii);
        }
        input->setCommitString(kept, input->replacementStart(), input->replacementLength());
        return false;
    }
    const auto code = keyAscii(static_cast<QKeyEvent *>(event));
    if (!code)
        return false;
    int KeyAscii = *code;
    if (box == txtFrom)
        txtFrom_KeyPress(KeyAscii);
    else
        txt2_KeyPress(KeyAscii);
    return KeyAscii == 0;
}
