#include "conversion/BatchRun.h"
#include "support/ScriptedOffice.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Holds whoever waits at it until the test opens it.
class Gate {
public:
    void wait()
    {
        std::unique_lock lock(mutex_);
        opened_.wait(lock, [this] { return open_; });
    }
    void open()
    {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        opened_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
};

// Opens the gate however a test ends, before its run is waited for.
struct GateOpener {
    Gate &gate;
    ~GateOpener() { gate.open(); }
};

QStringList documents(int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << QStringLiteral("/docs/d%1.doc").arg(i);
    return list;
}

} // namespace

// The run's promises with several documents in flight, a slow one held at
// a gate: list order, a bound on what waits, a stop.
class tst_batchrun_gates : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    OfficeScript office;
    std::unique_ptr<Gate> gate;
    std::atomic<int> opened{0};
    QString out;

    conversion::Batch batch(int count)
    {
        out = dir.filePath(QString::number(QDateTime::currentMSecsSinceEpoch())) + "/";
        QDir().mkpath(out);
        return {documents(count), out, std::nullopt, out + "run.log", 2};
    }

private slots:
    void init()
    {
        office = OfficeScript{};
        gate = std::make_unique<Gate>();
        opened = 0;
        // The first document is held as it opens; the rest go through.
        office.opening = [this](const QString &path) {
            ++opened;
            if (path == "/docs/d0.doc")
                gate->wait();
        };
    }

    void aSlowDocumentHoldsBackOnlyAFewAndIsWrittenFirst()
    {
        std::mutex finishedMutex;
        QList<int> finished;
        QList<int> pagesSoFar;
        conversion::BatchRun run(batch(40), scriptedOffices(office),
                                 {{},
                                  {},
                                  [&](int index, const auto &, const conversion::RunSummary &sofar) {
                                      std::lock_guard lock(finishedMutex);
                                      finished << index;
                                      pagesSoFar << sofar.pages;
                                  },
                                  {}});
        const GateOpener opener{*gate};
        run.start();
        QTRY_COMPARE(opened.load(), int(conversion::BatchRun::kMostAhead));
        // Nothing more starts while the first document is held (a look a
        // little later cannot prove it, but it catches a run without bound).
        std::this_thread::sleep_for(300ms);
        QCOMPARE(opened.load(), int(conversion::BatchRun::kMostAhead));
        QCOMPARE(finished, QList<int>{});
        gate->open();
        const conversion::RunSummary &summary = run.wait();
        QList<int> inOrder;
        QList<int> pagesInOrder;
        for (int i = 0; i < 40; ++i) {
            inOrder << i;
            pagesInOrder << i + 1;
        }
        QCOMPARE(finished, inOrder);
        QCOMPARE(pagesSoFar, pagesInOrder);
        QCOMPARE(summary.finished, 40);
        QCOMPARE(summary.pages, 40);
        QVERIFY(!summary.wasInterrupted && summary.failed == 0 && summary.notStarted() == 0);
    }

    void aStopLetsNoFurtherDocumentStart()
    {
        conversion::BatchRun run(batch(40), scriptedOffices(office), {});
        const GateOpener opener{*gate};
        run.start();
        QTRY_COMPARE(opened.load(), int(conversion::BatchRun::kMostAhead));
        run.stop();
        gate->open();
        QCOMPARE(run.wait().finished, int(conversion::BatchRun::kMostAhead));
        QCOMPARE(opened.load(), int(conversion::BatchRun::kMostAhead));
        QCOMPARE(QDir(out).entryList({"*.emf"}, QDir::Files).size(), int(conversion::BatchRun::kMostAhead));
    }

    void anInterruptEndsTheDocumentsInFlightAndStartsNoMore()
    {
        office.pages = 2;
        conversion::BatchRun run(batch(40), scriptedOffices(office), {});
        const GateOpener opener{*gate};
        run.start();
        constexpr int kStarted = int(conversion::BatchRun::kMostAhead);
        QTRY_COMPARE(opened.load(), kStarted);
        // Those behind the held document have put their pictures on disk.
        QTRY_VERIFY([&] {
            std::lock_guard lock(*office.lock);
            return office.instancesQuit == kStarted - 1;
        }());
        run.interrupt();
        gate->open();
        const conversion::RunSummary &summary = run.wait();
        // The held document's office was ended; those behind it had done
        // their office's part and are written.
        QCOMPARE(opened.load(), kStarted);
        QVERIFY(summary.wasInterrupted);
        QCOMPARE(summary.documents, 40);
        QCOMPARE(summary.finished, kStarted);
        QCOMPARE(summary.failed, 1);
        QCOMPARE(summary.interrupted, 1);
        QCOMPARE(summary.notStarted(), 40 - kStarted);
        QCOMPARE(summary.converted(), kStarted - 1);
        QCOMPARE(summary.pages, 2 * (kStarted - 1));
        QVERIFY(summary.failuresLogged);
        QCOMPARE(QDir(out).entryList({"d0-*.emf"}, QDir::Files), QStringList{});
        QCOMPARE(QDir(out).entryList({"*.emf"}, QDir::Files).size(), 2 * (kStarted - 1));
    }

    void theLastFailureOfADocumentIsTheOneLogged()
    {
        gate->open();
        office.pages = 3;
        office.copyFailsOnPage = {{1, "the copy failed"}};
        conversion::Batch both = batch(2);
        // Page 2 of the second document cannot be written: that comes after
        // its failed copy of page 1.
        QVERIFY(QDir().mkpath(out + "d1-2.emf"));
        conversion::BatchRun run(both, scriptedOffices(office), {});
        run.start();
        run.wait();
        const auto &outcomes = run.outcomes();
        QCOMPARE(outcomes[0].failure, "the copy failed");
        QVERIFY2(outcomes[1].failure.endsWith("d1-2.emf：Is a directory"), qPrintable(outcomes[1].failure));
    }

    void anInterruptedDocumentHasNoPartOfItsPictures()
    {
        gate->open();
        office.pages = 5;
        office.interruptedOnPage = 3;
        conversion::BatchRun run(batch(1), scriptedOffices(office), {});
        run.start();
        run.wait();
        QCOMPARE(run.outcomes()[0].failure, "处理被中断");
        QCOMPARE(QDir(out).entryList({"*.emf"}, QDir::Files), QStringList{});
        QFile log(out + "run.log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().endsWith("处错：处理被中断\r\n"));
    }
};

QTEST_GUILESS_MAIN(tst_batchrun_gates)
#include "tst_batchrun_gates.moc"
