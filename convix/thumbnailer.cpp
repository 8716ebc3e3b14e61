// pagegrab-thumbnailer -s SIZE INPUT OUTPUT
//
// The EMF thumbnailer file managers run through the freedesktop thumbnailer
// entry: INPUT's picture as a PNG in OUTPUT, its longest side SIZE pixels.
// Exit status: 0 written; 1 no thumbnail (the picture could not be drawn in
// time or by a fully confined office, or OUTPUT not written); 2 wrong usage; 128 + the signal when SIGINT
// or SIGTERM stopped it. Without a thumbnail nothing is written, and the
// reason is one line on standard error. Needs no display.

#include "convix/Thumbnail.h"
#include "office/LibreOffice.h"
#include "platform/NativePath.h"
#include "platform/Termination.h"

#include <QCoreApplication>

#include <atomic>
#include <cstdio>

namespace {

constexpr int kWritten = 0;
constexpr int kNoThumbnail = 1;
constexpr int kWrongUsage = 2;

// The signal that stopped it; set from the stop's own thread.
std::atomic<int> stoppedBy{0};

void say(const QString &text)
{
    std::fprintf(stderr, "pagegrab-thumbnailer：%s\n", qPrintable(QString(text).replace('\n', ' ')));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("pagegrab-thumbnailer");

    // As bytes: a name that is not UTF-8 reaches the office unchanged.
    const convix::ThumbnailRequest request = convix::readThumbnailArguments(platform::nativeArguments(argc, argv));
    if (!request.problem.isEmpty()) {
        say(request.problem);
        return kWrongUsage;
    }

    // A file manager makes thumbnails of whatever lands in a folder, without
    // anyone choosing to open it: no picture reaches an office that is not
    // fully confined. Where the system refuses a layer, there is no
    // thumbnail, and the reason.
    office::requireConfinement();

    // Stopped from outside, or past the time limit, the office is ended at
    // once, and what it was doing fails.
    const platform::StopOnTermination termination([](int signal) {
        stoppedBy = signal;
        office::endAllOffices();
    });
    QByteArray png;
    QString failure;
    bool pastTheLimit = false;
    {
        const office::EndAllOfficesAfter limit(convix::kThumbnailTimeLimit);
        try {
            png = convix::thumbnail(request.input, request.size,
                                    [] { return office::startPictureRenderer(convix::glanceLimits()); });
        } catch (const std::exception &e) {
            failure = QString::fromUtf8(e.what());
            if (failure.isEmpty())
                failure = "没有画出缩略图";
        }
        pastTheLimit = limit.fired();
    }
    if (stoppedBy) {
        say("被信号中断，没有写出缩略图");
        return 128 + stoppedBy;
    }
    if (!failure.isEmpty()) {
        say(pastTheLimit
                ? QStringLiteral("%1秒内没有画出缩略图，办公软件已被结束").arg(convix::kThumbnailTimeLimit.count())
                : failure);
        return kNoThumbnail;
    }
    try {
        convix::writeThumbnail(request.output, png);
    } catch (const std::exception &e) {
        say(QString::fromUtf8(e.what()));
        return kNoThumbnail;
    }
    return kWritten;
}
