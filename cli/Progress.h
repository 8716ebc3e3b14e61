#pragma once

#include "conversion/BatchRun.h"

#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>
#include <mutex>

namespace cli {

// The bar's line for a terminal `columns` wide. It stops short of the last
// column: a line that reaches it wraps, and "\r" then returns only to the
// start of its last row, so every redraw would leave a line behind. Where
// the full line does not fit, the bar shrinks, then the time taken and the
// time left are left out.
QString barLine(int done, qsizetype documents, int pages, qint64 elapsedSeconds, int columns);

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
