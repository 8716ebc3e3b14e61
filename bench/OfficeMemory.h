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
    // Kilobytes resident in every office whose parent is this process.
    static long current()
    {
        long total = 0;
        const QByteArray self = QByteArray::number(getpid());
        for (const QString &entry : QDir("/proc").entryList(QDir::Dirs)) {
            QFile status("/proc/" + entry + "/status");
            if (!status.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = status.readAll();
            if (!text.startsWith("Name:\tsoffice") || !text.contains("\nPPid:\t" + self + "\n"))
                continue;
            const qsizetype at = text.indexOf("\nVmRSS:");
            if (at >= 0)
                total += text.mid(at + 7, text.indexOf('\n', at + 1) - at - 7).trimmed().split(' ').value(0).toLong();
        }
        return total;
    }

    std::atomic<bool> stop_{false};
    std::atomic<long> peak_{0};
    std::thread sampler_;
};
