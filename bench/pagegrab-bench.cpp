// pagegrab-bench [--no-peer] [--log FILE] OUTPUT_FOLDER DOCUMENT...
//
// Converts every page of each document with ConvertDocument (one fresh office
// per document, files named stem-N.emf, the log in OUTPUT_FOLDER/Pagegrab.log
// unless --log names another), and, unless --no-peer, runs the peer, the office's own "--convert-to pdf" (one fresh process
// per document on a copy of our first complete profile), on the same documents in the
// same run. Prints each document's pages, both times and their ratio, the
// medians, and where our time went.

#include "conversion/ConvertDocument.h"
#include "office/LibreOffice.h"
#include "office/Profile.h"
#include "platform/Termination.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>

namespace {

using Clock = QElapsedTimer;

// Seconds spent per phase, summed over a document.
using Phases = std::map<std::string, double>;

class Timed {
public:
    explicit Timed(Phases &phases) : phases_(phases) {}
    template <class F>
    auto operator()(const char *phase, F &&f) -> decltype(f())
    {
        Clock t;
        t.start();
        struct Add {
            Phases &p;
            const char *name;
            Clock &t;
            ~Add() { p[name] += t.nsecsElapsed() / 1e9; }
        } add{phases_, phase, t};
        return f();
    }

private:
    Phases &phases_;
};

class TimedRange : public office::Range {
public:
    TimedRange(std::unique_ptr<office::Range> inner, Timed &time, bool &firstCopy)
        : inner_(std::move(inner)), time_(time), firstCopy_(firstCopy)
    {
    }
    office::Picture copy() override
    {
        // The first picture of a document pays for its layout: the PDF
        // export and Draw's import of it.
        const char *phase = firstCopy_ ? "first page (PDF + Draw import + EMF)" : "other pages (EMF)";
        firstCopy_ = false;
        return time_(phase, [&] { return inner_->copy(); });
    }

private:
    std::unique_ptr<office::Range> inner_;
    Timed &time_;
    bool &firstCopy_;
};

class TimedDocument : public office::Document {
public:
    TimedDocument(std::unique_ptr<office::Document> inner, Timed &time) : inner_(std::move(inner)), time_(time) {}
    void select() override { time_("page count", [&] { inner_->select(); }); }
    std::unique_ptr<office::Range> range(office::Position s, office::Position e) override
    {
        return std::make_unique<TimedRange>(inner_->range(s, e), time_, firstCopy_);
    }
    void close() override { time_("close", [&] { inner_->close(); }); }
    QString damage() const override { return inner_->damage(); }

private:
    std::unique_ptr<office::Document> inner_;
    Timed &time_;
    bool firstCopy_ = true;
};

class TimedApplication : public office::Application {
public:
    TimedApplication(std::unique_ptr<office::Application> inner, Timed &time) : inner_(std::move(inner)), time_(time) {}
    void setCheckGrammarAsYouType(bool on) override { time_("options", [&] { inner_->setCheckGrammarAsYouType(on); }); }
    void setCheckGrammarWithSpelling(bool on) override
    {
        time_("options", [&] { inner_->setCheckGrammarWithSpelling(on); });
    }
    std::unique_ptr<office::Document> open(const QString &path) override
    {
        return std::make_unique<TimedDocument>(time_("load", [&] { return inner_->open(path); }), time_);
    }
    office::Position selectionStart() override { return inner_->selectionStart(); }
    office::Position selectionEnd() override { return inner_->selectionEnd(); }
    void collapseSelectionToStart() override { inner_->collapseSelectionToStart(); }
    void browseNextPage() override { inner_->browseNextPage(); }
    void quit() override { time_("quit", [&] { inner_->quit(); }); }

private:
    std::unique_ptr<office::Application> inner_;
    Timed &time_;
};

int runPeer(const QString &profileUrl, const QString &document, const QString &outFolder)
{
    // The peer leaves its single-instance socket in /tmp; ours is removed.
    const QStringList socketsBefore = QDir("/tmp").entryList({"OSL_PIPE_*"}, QDir::System);
    QProcess peer;
    peer.setProcessChannelMode(QProcess::MergedChannels);
    peer.start(LIBREOFFICE_PROGRAM_DIR "/soffice.bin",
               {"-env:UserInstallation=" + profileUrl, "--headless", "--invisible",
                "--nologo", "--norestore", "--convert-to", "pdf", "--outdir", outFolder, document});
    peer.waitForFinished(-1);
    for (const QString &socket : QDir("/tmp").entryList({"OSL_PIPE_*"}, QDir::System))
        if (!socketsBefore.contains(socket))
            QFile::remove("/tmp/" + socket);
    return peer.exitCode();
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription("Converts documents as a batch run does and times it against the office's "
                                      "own PDF conversion of the same documents.");
    options.addHelpOption();
    const QCommandLineOption noPeer("no-peer", "Time our conversion only.");
    const QCommandLineOption logOption("log", "The processing log (default OUTPUT_FOLDER/Pagegrab.log).", "FILE");
    options.addOptions({noPeer, logOption});
    options.addPositionalArgument("OUTPUT_FOLDER", "Where the pictures go.");
    options.addPositionalArgument("DOCUMENT", "Documents to convert.", "DOCUMENT...");
    options.process(app);
    const QStringList arguments = options.positionalArguments();
    if (arguments.size() < 2)
        options.showHelp(2);
    const bool withPeer = !options.isSet(noPeer);
    const QString out = QDir(arguments[0]).absolutePath() + "/";
    const QString log = options.isSet(logOption) ? options.value(logOption) : out + "Pagegrab.log";
    QDir().mkpath(out + "peer");

    // Stopped from outside, it ends its offices and leaves nothing behind.
    std::atomic<bool> stopping{false};
    platform::stopCleanlyOnTermination([&] {
        stopping = true;
        office::endAllOffices();
    });

    std::printf("%-32s %5s %9s %9s %7s\n", "document", "pages", "ours s", "peer s", "ratio");
    std::vector<double> ours, peers, ratios;
    Phases total;
    for (const QString &argument : arguments.mid(1)) {
        if (stopping)
            break;
        const QString document = QFileInfo(argument).absoluteFilePath();
        Phases phases;
        Timed time(phases);
        const office::ApplicationFactory start = [&]() -> std::unique_ptr<office::Application> {
            return std::make_unique<TimedApplication>(time("start", [] { return office::startLibreOffice(); }), time);
        };
        const QString stem = QFileInfo(document).completeBaseName();
        const int before = QDir(out).entryList({stem + "-*.emf"}, QDir::Files).size();
        Clock t;
        t.start();
        const auto outcome = conversion::ConvertDocument({document, out, log, std::nullopt}, start);
        const double oursSeconds = t.nsecsElapsed() / 1e9;
        const int pages = QDir(out).entryList({stem + "-*.emf"}, QDir::Files).size() - before;

        double peerSeconds = 0;
        int peerExit = 0;
        if (withPeer) {
            // After our first office has quit, a new profile is a copy of its
            // complete one: the peer starts as fast as ours.
            const office::Profile profile;
            t.restart();
            peerExit = runPeer(profile.url(), document, out + "peer");
            peerSeconds = t.nsecsElapsed() / 1e9;
        }

        const double ratio = withPeer ? oursSeconds / peerSeconds : 0;
        const QString failure = !outcome.failed() ? QString()
                                : outcome.log.written ? "  (logged a failure)"
                                                      : "  (failure NOT logged: " + outcome.log.problem + ")";
        std::printf("%-32s %5d %9.2f %9.2f %7.2f%s%s\n", qPrintable(QFileInfo(document).fileName()), pages,
                    oursSeconds, peerSeconds, ratio, qPrintable(failure), peerExit ? "  (peer failed)" : "");
        if (!outcome.failed() && peerExit == 0) {
            ours.push_back(oursSeconds);
            peers.push_back(peerSeconds);
            ratios.push_back(ratio);
        }
        for (const auto &[phase, seconds] : phases)
            total[phase] += seconds;
    }
    std::printf("%-32s %5s %9.2f %9.2f %7.2f\n", "median (converted documents)", "", median(ours), median(peers),
                median(ratios));
    std::printf("\nwhere our time went, summed over all documents:\n");
    for (const auto &[phase, seconds] : total)
        std::printf("  %-40s %7.2f s\n", phase.c_str(), seconds);
    return stopping ? 1 : 0;
}
