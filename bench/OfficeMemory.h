#pragma once

// The largest resident memory our offices held at once, sampled while a
// batch runs.

#include <QDir>
#include <QFile>

#include <atomic>
#include <chrono>
#include <thread>
#include <unistd.h>

class OfficeMemory {
public:
    OfficeMemory()
        : sampler_([this] {
              while (!stop_) {
                  peak_ = std::max(peak_.load(), current());
                  std::this_thread::sleep_for(std::chrono::milliseconds(50));
              }
          })
    {
    }
    ~OfficeMemory()
    {
        stop_ = true;
        sampler_.join();
    }
    double peakMegabytes() const { return peak_ / 1024.0; }

private:
    // Kilobytes resident in every office whose parent is this process. From
    // each process's stat line, which the kernel makes far more cheaply than
    // its status: on a machine with many processes, sampling them all every
    // 50 ms would otherwise be a share of what is measured.
    static long current()
    {
        static const long kilobytesPerPage = sysconf(_SC_PAGESIZE) / 1024;
        long total = 0;
        const QByteArray self = QByteArray::number(getpid());
        for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
            QFile stat("/proc/" + entry + "/stat");
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            // pid (comm) state ppid ... with rss the 22nd field after comm
            const QByteArray line = stat.readAll();
            const qsizetype close = line.lastIndexOf(')');
            if (close < 0 || !line.mid(line.indexOf('(') + 1).startsWith("soffice"))
                continue;
            const QList<QByteArray> fields = line.mid(close + 2).split(' ');
            if (fields.value(1) == self)
                total += fields.value(21).toLong() * kilobytesPerPage;
        }
        return total;
    }

    std::atomic<bool> stop_{false};
    std::atomic<long> peak_{0};
    std::thread sampler_;
};
