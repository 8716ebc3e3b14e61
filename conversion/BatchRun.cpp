#include "conversion/BatchRun.h"

#include "office/LibreOffice.h"

#include <algorithm>

namespace conversion {
namespace {

constexpr qint64 kMemoryPerOffice = 400LL * 1024 * 1024;

} // namespace

QString unloggedFailuresNotice(const RunSummary &summary, const QString &logFile, int shown)
{
    const QStringList &entries = summary.unlogged;
    QString text = QStringLiteral("有%1个文档处理出错，但处理日志无法写入：").arg(entries.size()) + logFile
                   + "\r\n原因：" + summary.logProblem;
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

BatchRun::BatchRun(Batch batch, office::Offices offices, Events events)
    : batch_(std::move(batch)), offices_(std::move(offices)), events_(std::move(events)),
      exported_(batch_.documents.size())
{
    summary_.documents = int(batch_.documents.size());
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

void BatchRun::interrupt()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        interrupted_ = true;
    }
    room_.notify_all();
    // After the stop, so no document starts once its office is gone.
    if (offices_.endAll)
        offices_.endAll();
}

const RunSummary &BatchRun::wait()
{
    for (auto &thread : threads_)
        if (thread.joinable())
            thread.join();
    // Every writer of the summary has ended; only interrupt() may still come.
    std::lock_guard lock(mutex_);
    summary_.wasInterrupted = interrupted_;
    return summary_;
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
            room_.wait(lock,
                       [this] { return stopping_ || next_ >= exported_.size() || next_ < committed_ + kMostAhead; });
            if (stopping_ || next_ >= exported_.size())
                break;
            index = next_++;
        }
        const DocumentJob job{batch_.documents[int(index)], batch_.outputFolder, batch_.logFile, batch_.range};
        auto exported = exportDocument(job, offices_.start, events_.pictureCopied);
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
        const DocumentOutcome &outcome = outcomes_.emplace_back(commitDocument(*ready));
        sameNames_.written(*ready);
        tally(outcome, ready->job.path);
        if (events_.finished)
            events_.finished(static_cast<int>(outcomes_.size() - 1), outcome, summary_);
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

void BatchRun::tally(const DocumentOutcome &outcome, const QString &document)
{
    ++summary_.finished;
    summary_.pages += outcome.pagesWritten;
    summary_.failed += outcome.failed();
    summary_.interrupted += outcome.interrupted;
    summary_.failuresLogged = summary_.failuresLogged || outcome.log.written;
    if (outcome.failed() && !outcome.log.written) {
        if (summary_.unlogged.isEmpty())
            summary_.logProblem = outcome.log.problem;
        summary_.unlogged << logEntry(document, outcome.failure);
    }
}

} // namespace conversion
