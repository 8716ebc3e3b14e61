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

// The entries of the documents whose failure the log did not take.
QStringList unloggedFailures(const QStringList &documents, const std::vector<DocumentOutcome> &outcomes);
// What a front end says of them instead of offering the log: the count, the
// log's path, then the first `shown` entries, one a line (CR LF), and "……"
// for any more.
QString unloggedFailuresNotice(const QStringList &entries, const QString &logFile, int shown);

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
        // A document has been written (index from 0, in list order).
        std::function<void(int index, const DocumentOutcome &outcome)> finished;
        // Every document that was started has been written; the run is over.
        std::function<void()> done;
    };

    BatchRun(Batch batch, office::ApplicationFactory startOffice, Events events);
    ~BatchRun();
    BatchRun(const BatchRun &) = delete;
    BatchRun &operator=(const BatchRun &) = delete;

    void start();
    // No further document starts; those in flight end as their offices do.
    void stop();
    // Until the run is over; then each started document's outcome, in list order.
    const std::vector<DocumentOutcome> &wait();

private:
    void work();
    void commitReady();

    const Batch batch_;
    const office::ApplicationFactory startOffice_;
    const Events events_;

    std::mutex mutex_;
    std::condition_variable room_; // for the next document to start
    std::size_t next_ = 0;      // the next document to start
    std::size_t committed_ = 0; // documents written, from the first on
    bool stopping_ = false;
    int working_ = 0;           // threads still working
    std::vector<std::optional<ExportedDocument>> exported_;
    std::vector<DocumentOutcome> outcomes_;

    std::mutex commitMutex_;
    SameNames sameNames_; // under commitMutex_
    std::vector<std::thread> threads_;
};

} // namespace conversion
