#include "conversion/BatchRun.h"

#include "office/Memory.h"

#include <algorithm>

namespace conversion {
namespace {

constexpr qint64 kMemoryPerOffice = 400LL * 1024 * 1024;

} // namespace

QStringList unloggedFailures(const QStringList &documents, const std::vector<DocumentOutcome> &outcomes)
{
    QStringList entries;
    for (std::size_t i = 0; i < outcomes.size(); ++i)
        if (outcomes[i].failed() && !outcomes[i].log.written)
            entries << logEntry(documents[int(i)], outcomes[i].failure);
    return entries;
}

QString unloggedFailuresNotice(const QStringList &entries, const QString &logFile, int shown)
{
    QString text = QStringLiteral("有%1个文档处理出错，但处理日志无法写入：").arg(entries.size()) + logFile;
    for (const QString &entry : entries.mid(0, shown))
        text += "\r\n" + entry;
    if (entries.size() > shown)
        text += "\r\n……";
    return text;
}

int defaultDocumentsInFlight()
{
    int inFlight = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 4);
    if (const qint64 memory = office::usableMemory(); memory >= 0)
        inFlight = std::clamp(static_cast<int>(memory / kMemoryPerOffice), 1, inFlight);
    return inFlight;
}

BatchRun::BatchRun(Batch batch, office::ApplicationFactory startOffice, Events events)
    : batch_(std::move(batch)), startOffice_(std::move(startOffice)), events_(std::move(events)),
      exported_(batch_.documents.size())
{
}

BatchRun::~BatchRun()
{
    stop();
    for (auto &thread : threads_)
        if (thread.joinable())
            thread.join();
}

void BatchRun::start()
{
    if (events_.working && !batch_.documents.isEmpty())
        events_.working(1);
    const int threads = std::clamp(batch_.documentsInFlight, 1, std::max(1, int(batch_.documents.size())));
    working_ = threads;
    // The threads live as long as the run: an office dies with the thread
    // that started it.
    for (int i = 0; i < threads; ++i)
        threads_.emplace_back([this] { work(); });
}

void BatchRun::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    room_.notify_all();
}

const std::vector<DocumentOutcome> &BatchRun::wait()
{
    for (auto &thread : threads_)
        if (thread.joinable())
            thread.join();
    return outcomes_;
}

void BatchRun::work()
{
    for (;;) {
        std::size_t index = 0;
        {
            // Documents ahead of the first unwritten one hold their pictures
            // until it is written: however long it takes, no more than a
            // few wait, so a run's memory stays flat behind a slow document.
            std::unique_lock lock(mutex_);
            room_.wait(lock, [this] { return stopping_ || next_ >= exported_.size() || next_ < committed_ + kMostAhead; });
            if (stopping_ || next_ >= exported_.size())
                break;
            index = next_++;
        }
        const DocumentJob job{batch_.documents[int(index)], batch_.outputFolder, batch_.logFile, batch_.range};
        auto exported = exportDocument(job, startOffice_, events_.pictureCopied);
        {
            std::lock_guard lock(mutex_);
            exported_[index] = std::move(exported);
        }
        commitReady();
    }
    bool last = false;
    {
        std::lock_guard lock(mutex_);
        last = --working_ == 0;
    }
    if (last && events_.done)
        events_.done();
}

void BatchRun::commitReady()
{
    // One writer at a time, in list order: whoever finds the next document
    // ready writes it, and every ready one after it.
    std::lock_guard writing(commitMutex_);
    for (;;) {
        std::optional<ExportedDocument> ready;
        {
            std::lock_guard lock(mutex_);
            if (committed_ >= exported_.size() || !exported_[committed_])
                return;
            ready = std::move(exported_[committed_]);
            exported_[committed_].reset();
        }
        outcomes_.push_back(commitDocument(*ready));
        sameNames_.written(*ready);
        if (events_.finished)
            events_.finished(static_cast<int>(outcomes_.size() - 1), outcomes_.back());
        std::size_t number = 0;
        {
            std::lock_guard lock(mutex_);
            number = ++committed_ + 1;
        }
        room_.notify_all();
        if (events_.working && number <= exported_.size())
            events_.working(static_cast<int>(number));
    }
}

} // namespace conversion
