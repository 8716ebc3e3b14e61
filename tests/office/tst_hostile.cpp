#include "office/CompoundFile.h"
#include "office/LibreOffice.h"
#include "office/Watchdog.h"
#include "support/Documents.h"
#include "support/Emf.h"
#include "support/Processes.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QRandomGenerator>
#include <QTest>

#include <atomic>
#include <csignal>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A loopback port that takes connections into its backlog and never answers:
// whatever reaches it is counted, and nothing a document asks for arrives.
class CountingServer {
public:
    CountingServer()
    {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        bind(fd_, reinterpret_cast<sockaddr *>(&address), size);
        listen(fd_, 64);
        getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &size);
        port_ = ntohs(address.sin_port);
    }
    ~CountingServer() { close(fd_); }

    QString url(const QString &path) const { return QStringLiteral("http://127.0.0.1:%1/%2").arg(port_).arg(path); }

    int connections()
    {
        for (int client; (client = accept(fd_, nullptr, nullptr)) >= 0;) {
            close(client);
            ++connections_;
        }
        return connections_;
    }

private:
    int fd_ = -1;
    int port_ = 0;
    int connections_ = 0;
};

// The office is kept from other files in a mount namespace of its own, which
// needs this process's root to be a mount point; in a chroot it is not (and
// user namespaces are refused there), so only the network is kept away.
bool rootIsAMountPoint()
{
    QFile mounts("/proc/self/mountinfo");
    if (!mounts.open(QIODevice::ReadOnly))
        return false;
    // ID PARENT MAJOR:MINOR ROOT MOUNT-POINT ...
    for (const QByteArray &line : mounts.readAll().split('\n'))
        if (line.split(' ').value(4) == "/")
            return true;
    return false;
}

QByteArray pngOf(QColor colour)
{
    QImage image(40, 40, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

QString write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return path;
}

} // namespace

class tst_hostile : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    OfficeSockets sockets;

    // The first page's picture, through a fresh office as a run opens it.
    QByteArray firstPage(const QString &path, const office::Limits &limits = {})
    {
        auto app = office::startLibreOffice(limits);
        auto doc = app->open(path);
        doc->select();
        const QByteArray emf = doc->range(0, app->selectionEnd() > 1 ? 1 : app->selectionEnd())->copy().emf;
        doc->close();
        app->quit();
        return emf;
    }

private slots:
    void init() { sockets.note(); }

    void cleanup()
    {
        QTRY_COMPARE(officeChildren(), QList<int>{});
        sockets.removeNew();
    }

    void linksAreNotFollowedButEmbeddedPicturesShow()
    {
        CountingServer server;
        // A picture among a person's own files, where documents may link to.
        QTemporaryDir own("/var/tmp/pagegrab-test-XXXXXX");
        const QString picture = write(own.filePath("linked.png"), pngOf(Qt::red));
        const QString remote = write(dir.filePath("remote.doc"),
                                     ("<html><head><link rel=\"stylesheet\" href=\"" + server.url("style.css")
                                      + "\"></head><body><p>Remote</p><img src=\"" + server.url("a.png")
                                      + "\"><img src=\"" + server.url("b.png") + "\"></body></html>")
                                         .toUtf8());
        const QString localHtml =
            write(dir.filePath("local-html.doc"),
                  ("<html><body><p>Local</p><img src=\"" + QUrl::fromLocalFile(picture).toString() + "\"></body></html>")
                      .toUtf8());
        const QString localRtf = write(dir.filePath("local.doc"),
                                       "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\pard Local\\par"
                                       "{\\field{\\*\\fldinst INCLUDEPICTURE \""
                                           + picture.toUtf8() + "\" \\\\d}{\\fldrslt }}\\par}");
        const QString embedded = write(dir.filePath("embedded.doc"),
                                       "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\pard Embedded\\par"
                                       "{\\pict\\pngblip\\picw40\\pich40\\picwgoal600\\pichgoal600 "
                                           + pngOf(Qt::blue).toHex() + "}\\par}");
        office::Limits limits;
        limits.call = 20s;
        // Each in an office of its own, as a run does: the later ones start
        // from a copy of the first one's profile.
        QVERIFY(!emfDrawsBitmap(firstPage(remote, limits)));
        QVERIFY(emfDrawsBitmap(firstPage(embedded, limits)));
        QCOMPARE(server.connections(), 0);
        if (!rootIsAMountPoint())
            QSKIP("in a chroot the office cannot be kept from other files");
        QVERIFY(!emfDrawsBitmap(firstPage(localHtml, limits)));
        QVERIFY(!emfDrawsBitmap(firstPage(localRtf, limits)));
    }

    void onlyWordProcessorFormatsAreDocuments()
    {
        QByteArray noise(64 * 1024, '\0');
        QRandomGenerator generator(7);
        generator.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
        QByteArray oleNoise = noise;
        oleNoise.replace(0, 8, QByteArray::fromHex("d0cf11e0a1b11ae1"));
        const QStringList refused{write(dir.filePath("noise.doc"), noise), write(dir.filePath("ole-noise.doc"), oleNoise),
                                  write(dir.filePath("text.doc"), "Plain text, not a document.\n")};
        auto app = office::startLibreOffice();
        for (const QString &path : refused) {
            try {
                app->open(path);
                QFAIL(qPrintable(path + " opened"));
            } catch (const office::Failure &f) {
                QVERIFY2(f.description().startsWith("the file is not a word-processor document (the office reads it as "),
                         qPrintable(f.description()));
            }
        }
        app->quit();
    }

    void aWordFileCutShortOpensAndSaysItIsDamaged()
    {
        QFile whole(QStringLiteral(PAGEGRAB_TESTDOCS) + "/Bug53380_1.doc");
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QByteArray bytes = whole.readAll();
        QVERIFY(office::compoundFileDamage(whole.fileName()).empty());
        // Cut at nine tenths, the office opens it without a word.
        const QString cut = write(dir.filePath("cut.doc"), bytes.left(bytes.size() * 9 / 10));
        auto app = office::startLibreOffice();
        auto doc = app->open(cut);
        QCOMPARE(doc->damage(), "the document is damaged: the file is cut short (its stream \"1Table\" runs past its end)");
        doc->close();
        app->quit();
        // Cut in half, the office itself refuses it.
        QVERIFY(office::compoundFileDamage(write(dir.filePath("half.doc"), bytes.left(bytes.size() / 2))).find("cut short")
                != std::string::npos);
    }

    void hangingStartIsRetriedOnAFreshProfile()
    {
        // The first office to appear is stopped while it starts, as a start
        // that hangs would be; the second one must do.
        std::atomic<bool> stopped{false};
        std::thread stopper([&] {
            for (int i = 0; i < 500 && !stopped; ++i) {
                const auto children = officeChildren();
                if (!children.isEmpty()) {
                    ::kill(children[0], SIGSTOP);
                    stopped = true;
                }
                std::this_thread::sleep_for(5ms);
            }
        });
        office::Limits limits;
        limits.start = 2s;
        std::unique_ptr<office::Application> app;
        try {
            app = office::startLibreOffice(limits);
        } catch (const office::Failure &f) {
            stopped = true;
            stopper.join();
            QFAIL(qPrintable(f.description()));
        }
        stopper.join();
        QVERIFY(stopped);
        auto doc = app->open(documents::pages(dir.path(), "after-retry.fodt", 2));
        doc->select();
        QCOMPARE(app->selectionEnd(), 2);
        doc->close();
        app->quit();
    }

    void aDocumentHasATimeLimitOfItsOwn()
    {
        office::Limits limits;
        limits.document = 3s;
        auto app = office::startLibreOffice(limits);
        auto doc = app->open(documents::pages(dir.path(), "slow.fodt", 2));
        ::kill(officeChildren().value(0), SIGSTOP);
        try {
            doc->select();
            QFAIL("a stopped office answered");
        } catch (const office::Failure &f) {
            QCOMPARE(f.description(), "the document took longer than 3 s and its office was ended");
        }
        QTRY_COMPARE(officeChildren(), QList<int>{});
    }

    void aFailureOfOursInACallLeavesTheOfficeAlone()
    {
        // Every call into an office is watched this way; one that fails for
        // a reason of ours must not leave the office to be ended later.
        std::atomic<bool> ended{false};
        office::Watchdog watchdog([&] { ended = true; });
        try {
            const office::Watchdog::Armed armed(watchdog, 200ms);
            throw std::runtime_error("ours");
        } catch (const std::runtime_error &) {
        }
        std::this_thread::sleep_for(400ms);
        QVERIFY(!ended);
        QVERIFY(!watchdog.fired());
    }
};

QTEST_GUILESS_MAIN(tst_hostile)
#include "tst_hostile.moc"
