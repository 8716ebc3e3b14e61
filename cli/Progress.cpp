#include "cli/Progress.h"

#include "log/WriteLog.h"
#include "platform/NativePath.h"

namespace cli {
namespace {

QString minutesAndSeconds(qint64 seconds)
{
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
}

} // namespace

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
    constexpr int kWidth = 30;
    const qsizetype all = std::max<qsizetype>(documents_.size(), 1);
    const int filled = static_cast<int>(kWidth * done / all);
    const qint64 elapsed = clock_.elapsed() / 1000;
    const QString left = done > 0 ? minutesAndSeconds(elapsed * (all - done) / done) : QStringLiteral("--:--");
    std::fprintf(out_, "\r[%s%s] %d/%lld个文档 %d页 已用%s 剩余约%s\x1b[K", qPrintable(QString(filled, '#')),
                 qPrintable(QString(kWidth - filled, '-')), done, static_cast<long long>(documents_.size()), pages,
                 qPrintable(minutesAndSeconds(elapsed)), qPrintable(left));
    std::fflush(out_);
}

} // namespace cli
