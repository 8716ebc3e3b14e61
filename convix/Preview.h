#pragma once

#include "convix/Batch.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

class QThread;

namespace convix {

// Draws one picture at a time, for the window's preview, on a thread of its
// own through an office of its own: started when first needed, a fresh one
// after a failure, quit by stop(). Only the latest request counts: one
// waiting is replaced by the next, and what comes back for any but the
// latest (or after clear()) is not reported.
class Preview : public QObject {
    Q_OBJECT

public:
    explicit Preview(RendererFactory startRenderer, QObject *parent = nullptr);
    // Stops and waits for the picture under way, if any.
    ~Preview() override;

    // The picture at the most pixels that fit in the box, in its own shape.
    void request(const QString &emfPath, QSize box);
    // Nothing to show until the next request.
    void clear();
    // No more pictures: the office quits once the one under way is drawn.
    // Does not wait.
    void stop();

signals:
    void shown(const QString &emfPath, const QImage &picture);
    void failed(const QString &emfPath, const QString &reason);

private:
    struct Request {
        quint64 id;
        QString emfPath;
        QSize box;
    };

    void run();
    void report(quint64 id, const QString &emfPath, const QImage &picture, const QString &reason);

    const RendererFactory startRenderer_;
    quint64 latest_ = 0; // the window's thread only
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Request> waiting_;
    bool stopping_ = false;
    std::unique_ptr<QThread> worker_;
};

} // namespace convix
