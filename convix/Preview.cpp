#include "convix/Preview.h"

#include <QThread>

namespace convix {

Preview::Preview(RendererFactory startRenderer, QObject *parent)
    : QObject(parent), startRenderer_(std::move(startRenderer))
{
}

Preview::~Preview()
{
    stop();
    if (worker_)
        worker_->wait();
}

void Preview::request(const QString &emfPath, QSize box)
{
    {
        const std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        waiting_ = Request{++latest_, emfPath, box};
    }
    wake_.notify_one();
    if (!worker_) {
        worker_.reset(QThread::create([this] { run(); }));
        worker_->start();
    }
}

void Preview::clear()
{
    ++latest_;
    const std::lock_guard lock(mutex_);
    waiting_.reset();
}

void Preview::stop()
{
    ++latest_;
    {
        const std::lock_guard lock(mutex_);
        waiting_.reset();
        stopping_ = true;
    }
    wake_.notify_one();
}

void Preview::run()
{
    std::unique_ptr<office::PictureRenderer> renderer;
    for (;;) {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [this] { return waiting_ || stopping_; });
        if (stopping_)
            break;
        const Request asked = *std::exchange(waiting_, std::nullopt);
        lock.unlock();
        try {
            const QSize size = fittedSize(asked.emfPath, asked.box);
            if (!renderer)
                renderer = startRenderer_();
            report(asked.id, asked.emfPath, onWhitePaper(checkedSize(renderer->render(asked.emfPath, size), size)), {});
        } catch (const office::Failure &f) {
            // A fresh office for the next picture, in case this one broke it.
            renderer.reset();
            report(asked.id, asked.emfPath, {}, f.description());
        } catch (const std::exception &e) {
            report(asked.id, asked.emfPath, {}, QString::fromUtf8(e.what()));
        }
    }
    if (renderer)
        renderer->quit();
}

void Preview::report(quint64 id, const QString &emfPath, const QImage &picture, const QString &reason)
{
    // Posted to this object, so never delivered once it is gone; dropped on
    // arrival when a newer request (or clear) came meanwhile.
    QMetaObject::invokeMethod(
        this,
        [this, id, emfPath, picture, reason] {
            if (id != latest_)
                return;
            if (!picture.isNull())
                emit shown(emfPath, picture);
            else
                emit failed(emfPath, reason);
        },
        Qt::QueuedConnection);
}

} // namespace convix
