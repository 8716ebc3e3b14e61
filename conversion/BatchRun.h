#pragma once

#include "conversion/ConvertDocument.h"
#include "conversion/SameNames.h"

#include <QStringList>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace conversion {

// A batch run's inputs, as a front end has checked them.
struct Batch {
    QStringList documents; // in list order
    QString outputFolder;  // ends in "/"
    std::optional<PageRange> range;
    QString logFile;
    int documentsInFlight = 1;
};

// What a run has done: while it goes, so far (documents in flight count as
// not started, and an interruption shows only at the end); once it is over,
// in all.
struct RunSummary {
    int documents = 0;   // in the batch
    int finished = 0;    // written, failed ones included
    int failed = 0;      // finished with a failure, interrupted ones included
    int interrupted = 0; // failed because the run was interrupted
    int pages = 0;       // pictures written
    bool wasInterrupted = false;
    bool failuresLogged = false; // a failure's line reached the log
    QStringList unlogged;        // the log entries of failures the log did not take
    QString logProblem;          // why the log did not take the first of them
    int converted() const { return finished - failed; }
    int notStarted() const { return documents - finished; }
};

// What a front end says of the failures the log did not take, instead of
// offering the log: the count, the log's path, why the log did not take
// them, then the first `shown` entries, one a line (CR LF), and "……" for
// any more.
QString unloggedFailuresNotice(const RunSummary &summary, const QString &logFile, int shown);

// One per core, at most 4, and fewer where the memory this program may use
// (its control group's limit included) would not hold about
// 400 MB an office.
int defaultDocumentsInFlight();

// Converts a batch with several documents in flight, each in a fresh office
// of its own, and leaves exactly what a run of one document at a time
// leaves: each document's pictures and log line are written once every
// earlier document's are (and no document starts more than kMostAhead
// ahead of the first one not yet written), so the log keeps list order and, of two documents
// of the same name, the later one's pictures remain (see SameNames). The events are called
// from the run's own threads.
class BatchRun {
public:
    // How many documents, from the first unwritten one on, may be started.
    static constexpr std::size_t kMostAhead = 8;

    struct Events {
        // The lowest-numbered document (from 1) not yet finished.
        std::function<void(int number)> working;
        PictureCopied pictureCopied;
        // A document has been written (index from 0, in list order), and
        // what the run has done with it; both only for the call's length.
        std::function<void(int index, const DocumentOutcome &outcome, const RunSummary &sofar)> finished;
        // Every document that was started has been written; the run is over.
        std::function<void()> done;
    };

    BatchRun(Batch batch, office::Offices offices, Events events);
    ~BatchRun();
    BatchRun(const BatchRun &) = delete;
    BatchRun &operator=(const BatchRun &) = delete;

    void start();
    // No further document starts; those in flight end as their offices do
    // (a window's close box).
    void stop();
    // No further document starts, and the offices in flight are ended: their
    // documents end as interrupted, with no picture (the program is being
    // stopped; LibreOffice's offices end for the whole process, and none
    // starts again). Callable from any thread, also before start().
    void interrupt();
    // Until the run is over; then what it did.
    const RunSummary &wait();
    // After wait(): each started document's outcome, in list order.
    const std::vector<DocumentOutcome> &outcomes() const { return outcomes_; }

private:
    void work();
    void commitReady();
    void tally(const DocumentOutcome &outcome, const QString &document);

    const Batch batch_;
    const office::Offices offices_;
    const Events events_;

    std::mutex mutex_;
    std::condition_variable room_; // for the next document to start
    std::size_t next_ = 0;         // the next document to start
    std::size_t committed_ = 0;    // documents written, from the first on
    bool stopping_ = false;
    bool interrupted_ = false;
    int working_ = 0; // threads still working
    std::vector<std::optional<ExportedDocument>> exported_;
    std::vector<DocumentOutcome> outcomes_;

    std::mutex commitMutex_;
    SameNames sameNames_; // under commitMutex_
    RunSummary summary_;  // under commitMutex_
    std::vector<std::thread> threads_;
};

} // namespace conversion
