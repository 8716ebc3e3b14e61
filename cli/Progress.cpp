#include "cli/Progress.h"

#include "cli/Columns.h"
#include "log/WriteLog.h"
#include "platform/NativePath.h"

#include <sys/ioctl.h>

namespace cli {
namespace {

QString minutesAndSeconds(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
}

// Asked at each redraw, so a resized window gets a bar that fits.
int terminalColumns(std::FILE *out)
{
    winsize size{};
    if (ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    bool ok = false;
    const int columns = qEnvironmentVariableIntValue("COLUMNS", &ok);
    return ok && columns > 0 ? columns : 80;
}

} // namespace

QString barLine(int done, qsizetype documents, int pages, qint64 elapsedSeconds, int columns)
{
    constexpr int kWidest = 30;
    // Narrower, a bar says too little to be worth the room.
    constexpr int kNarrowest = 10;
    const qsizetype all = std::max<qsizetype>(documents, 1);
    const QString counts = QStringLiteral("%1/%2个文档 %3页").arg(done).arg(documents).arg(pages);
    const QString taken = " 已用" + minutesAndSeconds(elapsedSeconds);
    const QString left = " 剩余约"
                         + (done > 0 ? minutesAndSeconds(elapsedSeconds * (all - done) / done)
                                     : QStringLiteral("--:--"));
    const int room = columns - 1;
    for (const QString &text : {counts + taken + left, counts + left, counts}) {
        const int width = std::min(kWidest, room - displayColumns(text) - 3);
        if (width >= kNarrowest) {
            const int filled = static_cast<int>(width * done / all);
            return "[" + QString(filled, '#') + QString(width - filled, '-') + "] " + text;
        }
    }
    // Too narrow for any bar: the counts alone, if even they fit.
    return displayColumns(counts) <= room ? counts : QString();
}

Progress::Progress(const QStringList &documents, std::FILE *out, bool terminal)
    : documents_(documents), out_(out), terminal_(terminal)
{
    clock_.start();
    if (terminal_)
        drawBar(0, 0);
}

void Progress::finished(int index, const conversion::DocumentOutcome &outcome, const conversion::RunSummary &sofar)
{
    std::lock_guard lock(mutex_);
    if (terminal_) {
        drawBar(sofar.finished, sofar.pages);
        return;
    }
    const QString path = oneLine(platform::readablePath(documents_.value(index)));
    const QString result = outcome.failed() ? "出错：" + outcome.failure
                                            : QStringLiteral("%1页").arg(outcome.pagesWritten);
    std::fprintf(out_, "%d/%lld %s：%s\n", sofar.finished, static_cast<long long>(documents_.size()), qPrintable(path),
                 qPrintable(result));
    std::fflush(out_);
}

void Progress::close()
{
    std::lock_guard lock(mutex_);
    if (terminal_)
        std::fprintf(out_, "\n");
    std::fflush(out_);
}

void Progress::drawBar(int done, int pages)
{
    std::fprintf(out_, "\r%s\x1b[K",
                 qPrintable(barLine(done, documents_.size(), pages, clock_.elapsed() / 1000, terminalColumns(out_))));
    std::fflush(out_);
}

} // namespace cli
