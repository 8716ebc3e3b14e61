// pagegrab-bench [--jobs N] [--no-peer] [--fidelity [--beside DIR]] [--log FILE] OUTPUT_FOLDER DOCUMENT...
//
// Converts the documents as a batch run does (the batch component, N
// documents in flight, one fresh office each; files named stem-N.emf, the
// log in OUTPUT_FOLDER/Pagegrab.log unless --log names another) and, unless
// --no-peer, runs the peer on the same documents in the same run: the
// office's own "--convert-to pdf", one fresh process per document, one after
// the other, on a copy of our first complete profile. Prints each document's
// outcome, where our time went, the peak memory of our offices together,
// with --fidelity how close our pictures are to the office's own PDF, and
// last the line "batch: ours S s, peer S s, ratio R".

#include "Fidelity.h"
#include "OfficeMemory.h"
#include "TimedOffice.h"
#include "conversion/BatchCheck.h"
#include "office/LibreOffice.h"
#include "office/Profile.h"
#include "platform/Termination.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <thread>

namespace {

// The processor time of our children that have ended, in seconds: on a
// machine that others share, it shows what a change saves where the wall
// clock cannot.
double childrenCpuSeconds()
{
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    return children.ru_utime.tv_sec + children.ru_stime.tv_sec
           + (children.ru_utime.tv_usec + children.ru_stime.tv_usec) / 1e6;
}

int runPeer(const QString &document, const QString &outFolder)
{
    // Once our run has made the profile template, a new profile is a copy
    // of it: the peer starts as fast as ours.
    const office::Profile profile;
    // The peer leaves its single-instance socket in /tmp; ours is removed.
    const QStringList socketsBefore = QDir("/tmp").entryList({"OSL_PIPE_*"}, QDir::System);
    QProcess peer;
    peer.setProcessChannelMode(QProcess::MergedChannels);
    peer.start(LIBREOFFICE_PROGRAM_DIR "/soffice.bin",
               {"-env:UserInstallation=" + profile.url(), "--headless", "--invisible", "--nologo", "--norestore",
                "--convert-to", "pdf", "--outdir", outFolder, document});
    peer.waitForFinished(-1);
    for (const QString &socket : QDir("/tmp").entryList({"OSL_PIPE_*"}, QDir::System))
        if (!socketsBefore.contains(socket))
            QFile::remove("/tmp/" + socket);
    return peer.exitCode();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription("Converts documents as a batch run does and times the whole batch against "
                                      "the office's own PDF conversion of the same documents.");
    options.addHelpOption();
    const QCommandLineOption jobs("jobs", "Documents in flight (default as the window's).", "N");
    const QCommandLineOption noPeer("no-peer", "Time our conversion only.");
    const QCommandLineOption fidelity("fidelity", "Compare every picture with the office's own PDF of its page.");
    const QCommandLineOption beside("beside",
                                    "With --fidelity, write each page drawn beside the PDF's as DIR/NAME.png.", "DIR");
    const QCommandLineOption logOption("log", "The processing log (default OUTPUT_FOLDER/Pagegrab.log).", "FILE");
    const QCommandLineOption holdFirst("hold-first",
                                       "Hold the first document S seconds as it opens, as a slow document would "
                                       "(the others go on; what waits behind it shows in our own peak memory).",
                                       "S");
    options.addOptions({jobs, noPeer, fidelity, beside, logOption, holdFirst});
    options.addPositionalArgument("OUTPUT_FOLDER", "Where the pictures go.");
    options.addPositionalArgument("DOCUMENT", "Documents to convert.", "DOCUMENT...");
    options.process(app);
    const QStringList arguments = options.positionalArguments();
    if (arguments.size() < 2)
        options.showHelp(2);

    conversion::BatchRequest request;
    request.outputFolder = QDir(arguments[0]).absolutePath();
    request.logFile = options.isSet(logOption) ? options.value(logOption) : request.outputFolder + "/Pagegrab.log";
    request.documentsInFlight = options.isSet(jobs) ? std::max(1, options.value(jobs).toInt())
                                                    : conversion::defaultDocumentsInFlight();
    for (const QString &argument : arguments.mid(1))
        request.documents << QFileInfo(argument).absoluteFilePath();
    const conversion::CheckedBatch checked = conversion::checkBatch(request);
    if (checked.problem) {
        std::fprintf(stderr, "%s\n", qPrintable(conversion::describe(checked)));
        return 2;
    }
    const conversion::Batch &batch = checked.batch;
    QDir().mkpath(batch.outputFolder + "peer");

    Phases phases;
    const QString first = batch.documents.value(0);
    const int holdSeconds = options.value(holdFirst).toInt();
    std::atomic<bool> held{false};
    const auto opening = [&](const QString &path) {
        if (holdSeconds > 0 && path == first && !held.exchange(true))
            std::this_thread::sleep_for(std::chrono::seconds(holdSeconds));
    };
    const office::ApplicationFactory start = [&]() -> std::unique_ptr<office::Application> {
        return std::make_unique<TimedApplication>(phases("start", [] { return office::startLibreOffice(); }), phases,
                                                  opening);
    };
    conversion::BatchRun run(batch, {start, office::endAllOffices}, {});
    // Stopped from outside, it ends its offices and leaves nothing behind.
    std::atomic<bool> stopping{false};
    const platform::StopOnTermination termination([&](int) {
        stopping = true;
        run.interrupt();
    });

    QElapsedTimer clock;
    const OfficeMemory memory;
    clock.start();
    run.start();
    const conversion::RunSummary &summary = run.wait();
    const double ours = clock.nsecsElapsed() / 1e9;
    const double oursCpu = childrenCpuSeconds();
    const auto &outcomes = run.outcomes();
    const double peakMegabytes = memory.peakMegabytes();
    std::printf("%-32s %5s  %s\n", "document", "pages", "outcome");
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        const auto &outcome = outcomes[i];
        const QString failure = !outcome.failed()     ? QString()
                                : outcome.log.written ? "(logged a failure)"
                                                      : "(failure NOT logged: " + outcome.log.problem + ")";
        std::printf("%-32s %5d  %s\n", qPrintable(QFileInfo(batch.documents[int(i)]).fileName()), outcome.pagesWritten,
                    qPrintable(failure));
    }
    std::printf("%d of %d documents finished, %d failed (%d interrupted), %d pages\n", summary.finished,
                summary.documents, summary.failed, summary.interrupted, summary.pages);
    std::printf("\nwhere our time went, summed over all documents (%d in flight), and per time through:\n",
                batch.documentsInFlight);
    std::printf("  %-40s %9s %6s %9s %9s\n", "", "sum", "times", "median", "90%");
    for (const auto &[phase, s] : phases.summaries())
        std::printf("  %-40s %7.2f s %6zu %6.0f ms %6.0f ms\n", phase.c_str(), s.sum, s.count, s.median * 1e3,
                    s.p90 * 1e3);
    std::printf("peak memory of our offices together: %.0f MB\n", peakMegabytes);
    rusage own{};
    getrusage(RUSAGE_SELF, &own);
    std::printf("peak memory of pagegrab's own process (VmHWM): %.0f MB\n", own.ru_maxrss / 1024.0);
    // What confining an office adds to its start: the same work, in a child
    // that ends where the office would start.
    constexpr int kProbes = 20;
    clock.restart();
    QStringList unconfined;
    for (int i = 0; i < kProbes; ++i)
        unconfined = office::confinementShortfalls();
    std::printf("confinement of an office (files, network, temporary folder): %.2f ms, %s\n",
                clock.nsecsElapsed() / 1e6 / kProbes,
                unconfined.isEmpty() ? "every layer applied" : qPrintable("not applied: " + unconfined.join("; ")));
    if (stopping)
        return 1;

    if (options.isSet(fidelity)) {
        QTemporaryDir work;
        std::printf("\nfidelity per page (mean absolute difference, 0 identical):\n");
        std::printf("%s\n", qPrintable(measureFidelity(batch.documents, batch.outputFolder, work.path(),
                                                       options.value(beside))));
    }

    double peer = 0;
    double peerCpu = 0;
    if (!options.isSet(noPeer)) {
        const double cpuBefore = childrenCpuSeconds();
        clock.restart();
        int peerFailures = 0;
        for (const QString &document : batch.documents)
            peerFailures += runPeer(document, batch.outputFolder + "peer") != 0;
        peer = clock.nsecsElapsed() / 1e9;
        peerCpu = childrenCpuSeconds() - cpuBefore;
        if (peerFailures > 0)
            std::printf("the peer failed on %d documents\n", peerFailures);
    }
    std::printf("processor time of the offices: ours %.2f s, peer %.2f s, ratio %.2f\n", oursCpu, peerCpu,
                peerCpu > 0 ? oursCpu / peerCpu : 0.0);
    std::printf("batch: ours %.2f s, peer %.2f s, ratio %.2f\n", ours, peer, peer > 0 ? ours / peer : 0.0);
    return 0;
}
