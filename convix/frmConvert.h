#pragma once

#include "convix/Batch.h"

#include <QWidget>

#include <atomic>
#include <memory>

class QComboBox;
class QImage;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QThread;
class QTimer;

namespace convix {
class Preview;
}

// The converter's window: the folder's EMF pages beside a preview of the one
// selected, the format and resolution, a progress bar with a cancel button,
// and the files that failed.
class frmConvert : public QWidget {
    Q_OBJECT

public:
    // The preview's offices start as the conversion's do unless said otherwise.
    frmConvert(const QString &folder, convix::RendererFactory startRenderer,
               convix::RendererFactory startPreviewRenderer = {});
    ~frmConvert() override;

    void CmdStart_Click();
    void CmdCancel_Click();
    bool isRunning() const { return worker_ != nullptr; }

    QLabel *lblFolder;
    QListWidget *lstFiles;
    QLabel *lblPreview;
    QRadioButton *OptBmp, *OptJpg, *OptPng;
    QComboBox *cboDpi;
    QProgressBar *barProgress;
    QListWidget *lstFailed;
    QPushButton *CmdStart, *CmdCancel, *CmdExit;

signals:
    void finished();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void runFinished(const convix::Outcome &outcome);
    void setRunning(bool running);
    void previewSelected();
    void previewShown(const QString &file, const QImage &picture);

    QString folder_;
    QStringList files_;
    convix::RendererFactory startRenderer_;
    std::atomic<bool> cancel_{false};
    std::unique_ptr<QThread> worker_;
    bool closeWhenDone_ = false;
    // Its own office, so the preview goes on during a run.
    std::unique_ptr<convix::Preview> preview_;
    QTimer *previewResized_;
    QString previewAsked_; // the file last asked for, at previewBox_
    QSize previewBox_;
    QString previewShown_; // the file whose picture is shown
};
