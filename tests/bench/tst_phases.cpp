#include "TimedOffice.h"

#include <QTest>

#include <thread>

class PhasesTest : public QObject {
    Q_OBJECT
private slots:
    // What the benchmark prints beside a phase's sum: how often it ran, and
    // the median and 90th percentile of one time through, so that a few
    // stalls stand apart from every office being slow.
    void summarisesEachPhase()
    {
        Phases phases;
        // Ten starts: eight short, two that stall.
        for (int i = 0; i < 10; ++i)
            phases("start", [&] { std::this_thread::sleep_for(std::chrono::milliseconds(i < 8 ? 5 : 120)); });
        phases("quit", [] { std::this_thread::sleep_for(std::chrono::milliseconds(30)); });

        const auto summaries = phases.summaries();
        QCOMPARE(summaries.size(), std::size_t(2));
        const Phases::Summary start = summaries.at("start");
        QCOMPARE(start.count, std::size_t(10));
        QVERIFY(start.sum >= 0.28);
        QVERIFY2(start.median < 0.1, "the median is one of the short starts");
        // The 90th percentile of ten is the ninth: the first stall.
        QVERIFY(start.p90 >= 0.12);
        const Phases::Summary quit = summaries.at("quit");
        QCOMPARE(quit.count, std::size_t(1));
        QVERIFY(quit.median >= 0.03 && quit.p90 == quit.median && quit.sum == quit.median);
    }
};

QTEST_GUILESS_MAIN(PhasesTest)
#include "tst_phases.moc"
