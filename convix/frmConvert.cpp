#include "convix/frmConvert.h"

#include "convix/Preview.h"
#include "gui/MessageBox.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString kNoPictures = QStringLiteral("该目录中没有EMF图片文件。");
const QString kPreviewing = QStringLiteral("正在生成预览…");

} // namespace

frmConvert::frmConvert(const QString &folder, convix::RendererFactory startRenderer,
                       convix::RendererFactory startPreviewRenderer)
    : folder_(folder), files_(convix::pictureFiles(folder)), startRenderer_(std::move(startRenderer)),
      preview_(
          std::make_unique<convix::Preview>(startPreviewRenderer ? std::move(startPreviewRenderer) : startRenderer_))
{
    setObjectName("frmConvert");
    setWindowTitle("图片格式转换");
    setWindowIcon(QIcon(":/pagegrab-32.png"));
    QFont f = font();
    f.setPointSize(9);
    setFont(f);

    lblFolder = new QLabel("图片目录：" + folder);
    lstFiles = new QListWidget;
    for (const QString &file : files_)
        lstFiles->addItem(QFileInfo(file).fileName());
    // The page selected, drawn at the size of its area, which takes what
    // room there is (its own picture does not hold the window at its size).
    lblPreview = new QLabel;
    lblPreview->setAlignment(Qt::AlignCenter);
    lblPreview->setWordWrap(true);
    lblPreview->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    lblPreview->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    lblPreview->setMinimumSize(160, 160);
    lblPreview->installEventFilter(this);
    auto *pages = new QSplitter(Qt::Horizontal);
    pages->setChildrenCollapsible(false);
    pages->addWidget(lstFiles);
    pages->addWidget(lblPreview);
    pages->setStretchFactor(1, 1);
    pages->setSizes({200, 760});
    // A resize is drawn anew once it has come to rest.
    previewResized_ = new QTimer(this);
    previewResized_->setSingleShot(true);
    previewResized_->setInterval(150);

    auto *options = new QGroupBox("转换为");
    OptBmp = new QRadioButton("BMP");
    OptJpg = new QRadioButton("JPG");
    OptPng = new QRadioButton("PNG");
    OptJpg->setChecked(true);
    cboDpi = new QComboBox;
    for (int dpi : {96, 150, 300})
        cboDpi->addItem(QStringLiteral("%1 dpi").arg(dpi), dpi);
    auto *optionRow = new QHBoxLayout(options);
    optionRow->addWidget(OptBmp);
    optionRow->addWidget(OptJpg);
    optionRow->addWidget(OptPng);
    optionRow->addSpacing(24);
    optionRow->addWidget(new QLabel("分辨率："));
    optionRow->addWidget(cboDpi);
    optionRow->addStretch();

    barProgress = new QProgressBar;
    // A bar of no length is Qt's busy indicator, which would run for ever
    // over a folder with nothing to convert.
    barProgress->setRange(0, std::max(1, int(files_.size())));
    barProgress->setValue(0);
    lstFailed = new QListWidget;
    lstFailed->setMaximumHeight(100);

    CmdStart = new QPushButton("开始转换");
    CmdCancel = new QPushButton("取消");
    CmdExit = new QPushButton("退出");
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CmdStart);
    buttons->addWidget(CmdCancel);
    buttons->addWidget(CmdExit);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblFolder);
    layout->addWidget(
        new QLabel(files_.isEmpty() ? kNoPictures : QStringLiteral("共%1个EMF图片文件：").arg(files_.size())));
    layout->addWidget(pages, 1);
    layout->addWidget(options);
    layout->addWidget(barProgress);
    layout->addWidget(new QLabel("转换失败的文件："));
    layout->addWidget(lstFailed);
    layout->addLayout(buttons);
    // Large enough for a page's text to be read in the preview, where the
    // screen has room for it.
    resize(1000, 900);
    if (const QScreen *screen = this->screen()) {
        resize(size().boundedTo(screen->availableGeometry().size() * 0.9));
        move(screen->availableGeometry().center() - rect().center());
    }

    connect(CmdStart, &QPushButton::clicked, this, &frmConvert::CmdStart_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &frmConvert::CmdCancel_Click);
    connect(CmdExit, &QPushButton::clicked, this, &QWidget::close);
    connect(lstFiles, &QListWidget::itemSelectionChanged, this, &frmConvert::previewSelected);
    connect(previewResized_, &QTimer::timeout, this, &frmConvert::previewSelected);
    connect(preview_.get(), &convix::Preview::shown, this, &frmConvert::previewShown);
    connect(preview_.get(), &convix::Preview::failed, this, [this](const QString &, const QString &reason) {
        previewShown_.clear();
        lblPreview->setText("无法预览：" + reason);
    });
    setRunning(false);
}

frmConvert::~frmConvert()
{
    cancel_ = true;
    if (worker_)
        worker_->wait();
    preview_.reset();
}

void frmConvert::CmdStart_Click()
{
    convix::Job job;
    job.files = files_;
    job.format = OptBmp->isChecked()   ? convix::Format::Bmp
                 : OptPng->isChecked() ? convix::Format::Png
                                       : convix::Format::Jpg;
    job.dpi = cboDpi->currentData().toInt();
    int existing = 0;
    for (const QString &file : files_)
        existing += QFileInfo::exists(convix::targetPath(file, job.format));
    if (existing > 0)
        job.replaceExisting = gui::MessageBox::show(
                                  this, QStringLiteral("目录中已有%1个同名的图片文件，是否全部替换？").arg(existing),
                                  gui::Icon::Question, gui::Buttons::YesNo)
                              == gui::Answer::Yes;

    lstFailed->clear();
    barProgress->setValue(0);
    cancel_ = false;
    setRunning(true);
    worker_.reset(QThread::create([this, job] {
        const auto outcome = convix::convert(job, startRenderer_, cancel_, [this](int done) {
            QMetaObject::invokeMethod(barProgress, [this, done] { barProgress->setValue(done); });
        });
        QMetaObject::invokeMethod(this, [this, outcome] { runFinished(outcome); });
    }));
    worker_->start();
}

void frmConvert::CmdCancel_Click()
{
    cancel_ = true;
    CmdCancel->setEnabled(false);
}

void frmConvert::runFinished(const convix::Outcome &outcome)
{
    worker_->wait();
    worker_.reset();
    setRunning(false);
    for (const auto &failure : outcome.failed)
        lstFailed->addItem(QFileInfo(failure.file).fileName() + "：" + failure.reason);
    QString summary = QStringLiteral("%1：写入%2个文件，失败%3个")
                          .arg(outcome.cancelled ? "转换已取消" : "转换完毕")
                          .arg(outcome.written)
                          .arg(outcome.failed.size());
    if (outcome.skipped > 0)
        summary += QStringLiteral("，跳过%1个已有的文件").arg(outcome.skipped);
    gui::MessageBox::show(this, summary + "。");
    emit finished();
    if (closeWhenDone_)
        close();
}

void frmConvert::setRunning(bool running)
{
    CmdStart->setEnabled(!running && !files_.isEmpty());
    CmdCancel->setEnabled(running);
    OptBmp->setEnabled(!running);
    OptJpg->setEnabled(!running);
    OptPng->setEnabled(!running);
    cboDpi->setEnabled(!running);
}

void frmConvert::previewSelected()
{
    const QList<QListWidgetItem *> selected = lstFiles->selectedItems();
    if (selected.isEmpty()) {
        preview_->clear();
        previewAsked_.clear();
        previewShown_.clear();
        lblPreview->clear();
        return;
    }
    const QString file = files_.value(lstFiles->row(selected.first()));
    const QSize box = lblPreview->contentsRect().size() * lblPreview->devicePixelRatioF();
    // Not laid out yet (its first resize asks again), or already asked.
    if (box.isEmpty() || (file == previewAsked_ && box == previewBox_))
        return;
    previewAsked_ = file;
    previewBox_ = box;
    // Another page's picture goes at once; the same page's stays until it
    // is drawn at the new size.
    if (file != previewShown_) {
        previewShown_.clear();
        lblPreview->setText(kPreviewing);
    }
    preview_->request(file, box);
}

void frmConvert::previewShown(const QString &file, const QImage &picture)
{
    previewShown_ = file;
    QPixmap pixmap = QPixmap::fromImage(picture);
    pixmap.setDevicePixelRatio(lblPreview->devicePixelRatioF());
    lblPreview->setPixmap(pixmap);
}

bool frmConvert::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lblPreview && event->type() == QEvent::Resize)
        previewResized_->start();
    return QWidget::eventFilter(watched, event);
}

void frmConvert::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Said once the window is on screen, as the reason nothing can start.
    if (files_.isEmpty() && !event->spontaneous())
        QMetaObject::invokeMethod(
            this, [this] { gui::MessageBox::show(this, kNoPictures); }, Qt::QueuedConnection);
}

void frmConvert::closeEvent(QCloseEvent *event)
{
    // A file being written is finished first; the rest are not started.
    if (worker_) {
        closeWhenDone_ = true;
        cancel_ = true;
        event->ignore();
        return;
    }
    // The office quits once the picture it is drawing is done; nothing
    // waits for it here (the destructor does).
    preview_->stop();
    event->accept();
}
