#pragma once

#include "conversion/BatchRun.h"

#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>
#include <mutex>

namespace cli {

// Progress on standard error: a bar redrawn in place on a terminal
// (documents done of all, pages written, time taken, time left), one line
// per finished document otherwise. Called from the run's threads.
class Progress {
public:
    Progress(const QStringList &documents, std::FILE *out, bool terminal);
    void finished(int index, const conversion::DocumentOutcome &outcome, const conversion::RunSummary &sofar);
    // Ends the bar's line.
    void close();

private:
    void drawBar(int done, int pages);

    const QStringList documents_;
    std::FILE *out_;
    const bool terminal_;
    std::mutex mutex_;
    QElapsedTimer clock_;
};

} // namespace cli
