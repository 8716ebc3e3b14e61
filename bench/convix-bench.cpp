// convix-bench FOLDER
//
// Converts every EMF page in FOLDER (pages written by pagegrab-bench, say)
// with the companion converter's batch, one office for the whole job, once
// per format and resolution, and prints the time per page.

#include "convix/Batch.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: convix-bench FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QStringList files = convix::pictureFiles(folder);
    std::printf("%d pages in %s\n%-12s %8s %10s %8s\n", int(files.size()), argv[1], "format", "dpi", "total s",
                "s/page");
    const struct {
        convix::Format format;
        const char *name;
        int dpi;
    } runs[] = {{convix::Format::Jpg, "JPG", 96}, {convix::Format::Jpg, "JPG", 300}, {convix::Format::Bmp, "BMP", 150}};
    for (const auto &run : runs) {
        std::atomic<bool> cancel{false};
        QElapsedTimer t;
        t.start();
        const auto outcome = convix::convert(
            {files, run.format, run.dpi, true}, [] { return office::startPictureRenderer(); }, cancel);
        const double seconds = t.nsecsElapsed() / 1e9;
        std::printf("%-12s %8d %10.2f %8.3f%s\n", run.name, run.dpi, seconds,
                    seconds / std::max<qsizetype>(1, files.size()), outcome.failed.isEmpty() ? "" : "  (some failed)");
        for (const QString &file : files)
            QFile::remove(convix::targetPath(file, run.format));
    }
    return 0;
}
