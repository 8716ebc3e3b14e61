#include "office/LibreOffice.h"
#include "support/Documents.h"
#include "support/Emf.h"
#include "support/Processes.h"
#include "wordfile/WordFileDamage.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QtEndian>

#include <zlib.h>

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

// A black PNG of width × height pixels, a few hundred kilobytes however
// large: what a picture bomb is.
QByteArray hugeBlackPng(int width, int height)
{
    const auto chunk = [](const char *type, const QByteArray &data) {
        QByteArray bytes(4, '\0');
        qToBigEndian<quint32>(quint32(data.size()), bytes.data());
        const QByteArray body = type + data;
        QByteArray crc(4, '\0');
        qToBigEndian<quint32>(quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))),
                              crc.data());
        return bytes + body + crc;
    };
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(quint32(width), header.data());
    qToBigEndian<quint32>(quint32(height), header.data() + 4);
    header[8] = 8; // bits per sample
    header[9] = 2; // RGB
    z_stream zip{};
    deflateInit(&zip, 9);
    const QByteArray row(1 + 3 * width, '\0'); // filter byte, then the pixels
    QByteArray compressed;
    char buffer[65536];
    for (int y = 0; y < height; ++y) {
        zip.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(row.constData()));
        zip.avail_in = uInt(row.size());
        do {
            zip.next_out = reinterpret_cast<Bytef *>(buffer);
            zip.avail_out = sizeof buffer;
            deflate(&zip, y + 1 == height ? Z_FINISH : Z_NO_FLUSH);
            compressed.append(buffer, qsizetype(sizeof buffer - zip.avail_out));
        } while (zip.avail_out == 0);
    }
    deflateEnd(&zip);
    return QByteArray::fromHex("89504e470d0a1a0a") + chunk("IHDR", header) + chunk("IDAT", compressed)
           + chunk("IEND", {});
}

// Whether any text is drawn in this colour (EMR_SETTEXTCOLOR, COLORREF).
bool emfUsesTextColour(const QByteArray &emf, QRgb colour)
{
    const quint32 wanted = qRed(colour) | qGreen(colour) << 8 | qBlue(colour) << 16;
    for (qsizetype at = 0; at + 12 <= emf.size();) {
        const quint32 type = qFromLittleEndian<quint32>(emf.constData() + at);
        const quint32 size = qFromLittleEndian<quint32>(emf.constData() + at + 4);
        if (type == 24 && qFromLittleEndian<quint32>(emf.constData() + at + 8) == wanted)
            return true;
        if (size < 8)
            break;
        at += size;
    }
    return false;
}

// A one-page PDF that says `text`; the office draws a linked PDF's page.
QByteArray pdfSaying(const QByteArray &text)
{
    const QByteArray stream = "BT /F1 24 Tf 72 720 Td (" + text + ") Tj ET";
    QList<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        "/Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + QByteArray::number(stream.size()) + " >>\nstream\n" + stream + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets << pdf.size();
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
           + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

// A flat OpenDocument text whose one paragraph holds a picture linked by address.
QByteArray flatOdtLinking(const QString &url)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
           "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
           "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
           "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" office:version=\"1.2\" "
           "office:mimetype=\"application/vnd.oasis.opendocument.text\"><office:body><office:text><text:p>Linked "
           "<draw:frame draw:name=\"f\" text:anchor-type=\"as-char\" svg:width=\"5cm\" svg:height=\"5cm\">"
           "<draw:image xlink:href=\""
           + url.toUtf8()
           + "\" xlink:type=\"simple\" xlink:show=\"embed\" xlink:actuate=\"onLoad\"/></draw:frame></text:p>"
             "</office:text></office:body></office:document>\n";
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

    void remoteLinksAreNotFetchedButEmbeddedPicturesShow()
    {
        CountingServer server;
        const QString remote = write(dir.filePath("remote.doc"),
                                     ("<html><head><link rel=\"stylesheet\" href=\"" + server.url("style.css")
                                      + "\"></head><body><p>Remote</p><img src=\"" + server.url("a.png")
                                      + "\"><img src=\"" + server.url("b.png") + "\"></body></html>")
                                         .toUtf8());
        const QString embedded = write(dir.filePath("embedded.doc"),
                                       "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\pard Embedded\\par"
                                       "{\\pict\\pngblip\\picw40\\pich40\\picwgoal600\\pichgoal600 "
                                           + pngOf(Qt::blue).toHex() + "}\\par}");
        const QString styled = write(dir.filePath("styled.doc"),
                                     "<html><body><p style=\"color:#ff0000\">Red</p></body></html>");
        office::Limits limits;
        limits.call = 20s;
        // Each in an office of its own, as a run does: the later ones start
        // from a copy of the first one's profile.
        QVERIFY(!emfDrawsBitmap(firstPage(remote, limits)));
        QCOMPARE(server.connections(), 0);
        // What the local attacks below look for does show when it is the
        // document's own.
        QVERIFY(emfDrawsBitmap(firstPage(embedded, limits)));
        QVERIFY(emfUsesTextColour(firstPage(styled, limits), qRgb(255, 0, 0)));
    }

    void localFilesStayOutOfPages_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("tmp") << QStringLiteral("/tmp");
        // Readable by everyone, and no folder anyone would think to hide.
        QTest::newRow("etc") << QStringLiteral("/etc");
    }

    // A picture, a PDF and a stylesheet beside other people's files, linked
    // from every kind of document and link the office reads: none of them
    // may reach a page.
    void localFilesStayOutOfPages()
    {
        QFETCH(QString, folder);
        QTemporaryDir secrets(folder + "/pagegrab-secret-XXXXXX");
        if (!secrets.isValid())
            QSKIP(qPrintable("cannot write to " + folder));
        const QString picture = QUrl::fromLocalFile(write(secrets.filePath("secret.png"), pngOf(Qt::red))).toString();
        const QString pdf = QUrl::fromLocalFile(write(secrets.filePath("secret.pdf"), pdfSaying("SECRETPDF")))
                                .toString();
        const QString css = QUrl::fromLocalFile(write(secrets.filePath("secret.css"), "p { color: #ff0000 }"))
                                .toString();
        const QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
                               "width=\"100\" height=\"100\"><image xlink:href=\""
                               + picture.toUtf8() + "\" width=\"100\" height=\"100\"/></svg>";
        const QList<std::pair<QString, QByteArray>> documents{
            {"img.doc", "<html><body><p>Linked</p><img src=\"" + picture.toUtf8() + "\"></body></html>"},
            {"body.doc", "<html><body background=\"" + picture.toUtf8() + "\"><p>Linked</p></body></html>"},
            {"table.doc", "<html><body><table background=\"" + picture.toUtf8()
                              + "\" width=\"400\" height=\"400\"><tr><td>Linked</td></tr></table></body></html>"},
            {"svg.doc",
             "<html><body><p>Linked</p><img src=\"data:image/svg+xml;base64," + svg.toBase64() + "\"></body></html>"},
            {"css.doc", "<html><head><link rel=\"stylesheet\" href=\"" + css.toUtf8()
                            + "\"></head><body><p>Linked</p></body></html>"},
            {"rtf.doc", "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\pard Linked\\par{\\field{\\*\\fldinst INCLUDEPICTURE \""
                            + QUrl(picture).toLocalFile().toUtf8() + "\" \\\\d}{\\fldrslt }}\\par}"},
            {"image.doc", flatOdtLinking(picture)},
            {"pdf.doc", flatOdtLinking(pdf)},
        };
        office::Limits limits;
        limits.call = 20s;
        for (const auto &[name, content] : documents) {
            const QByteArray page = firstPage(write(dir.filePath(name), content), limits);
            QVERIFY2(!emfDrawsBitmap(page), qPrintable(name));
            QVERIFY2(!emfContainsText(page, "SECRETPDF"), qPrintable(name));
            QVERIFY2(!emfUsesTextColour(page, qRgb(255, 0, 0)), qPrintable(name));
        }
    }

    void aPictureBombEndsItsOfficeAtTheBound()
    {
        // 12000 × 12000 pixels in a 1 MB document: several times the bound
        // once the office decodes it.
        const QString bomb = write(dir.filePath("bomb.doc"),
                                   "{\\rtf1\\ansi\\pard Bomb\\par{\\pict\\pngblip\\picw12000\\pich12000"
                                   "\\picwgoal9000\\pichgoal9000 "
                                       + hugeBlackPng(12000, 12000).toHex() + "}\\par}");
        office::Limits limits;
        limits.memory = 400 * 1024 * 1024;
        try {
            firstPage(bomb, limits);
            QFAIL("the bomb was drawn within the bound");
        } catch (const office::Failure &f) {
            QVERIFY2(f.description().startsWith("文档所需的内存超出办公软件的上限：办公软件被结束时占用"),
                     qPrintable(f.description()));
            QVERIFY2(f.description().endsWith("，上限为400 MB"), qPrintable(f.description()));
        }
        // A file the office could not read within its bound is not read
        // into our memory either.
        QFile huge(dir.filePath("huge.doc"));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize((qint64(1) << 31) - 1));
        auto app = office::startLibreOffice(limits);
        try {
            app->open(huge.fileName());
            QFAIL("a 2 GB file was read");
        } catch (const office::Failure &f) {
            QCOMPARE(f.description(), "文件太大，不是文档：2047 MB，超过办公软件可读取的100 MB");
        }
        app->quit();
    }

    void theOfficeGetsNoneOfTheCallersSecrets()
    {
        qputenv("PAGEGRAB_TEST_TOKEN", "s3cret");
        auto app = office::startLibreOffice();
        qunsetenv("PAGEGRAB_TEST_TOKEN");
        QFile environ(QStringLiteral("/proc/%1/environ").arg(officeChildren().value(0)));
        QVERIFY(environ.open(QIODevice::ReadOnly));
        const QList<QByteArray> variables = environ.readAll().split('\0');
        app->quit();
        QVERIFY(variables.contains("LC_ALL=C.UTF-8"));
        for (const QByteArray &variable : variables)
            QVERIFY2(!variable.contains("s3cret"), variable.constData());
    }

    void onlyWordProcessorFormatsAreDocuments()
    {
        QByteArray noise(64 * 1024, '\0');
        QRandomGenerator generator(7);
        generator.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
        QByteArray oleNoise = noise;
        oleNoise.replace(0, 8, QByteArray::fromHex("d0cf11e0a1b11ae1"));
        const QStringList refused{write(dir.filePath("noise.doc"), noise),
                                  write(dir.filePath("ole-noise.doc"), oleNoise),
                                  write(dir.filePath("text.doc"), "Plain text, not a document.\n")};
        // Any format the word processor imports is a document, not only Word's.
        const QString abiWord = write(dir.filePath("abiword.doc"),
                                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<abiword "
                                      "xmlns=\"http://www.abisource.com/awml.dtd\" version=\"1.0\"><section><p>Hello"
                                      "</p></section></abiword>\n");
        auto app = office::startLibreOffice();
        app->open(abiWord)->close();
        for (const QString &path : refused) {
            try {
                app->open(path);
                QFAIL(qPrintable(path + " opened"));
            } catch (const office::Failure &f) {
                QVERIFY2(f.description().startsWith("文件不是文字处理文档（办公软件将其读作"),
                         qPrintable(f.description()));
            }
        }
        app->quit();
    }

    void aWordFileCutShortOpensAndSaysItIsDamaged()
    {
        const auto bytesOf = [](const QString &name) {
            QFile file(QStringLiteral(PAGEGRAB_TESTDOCS) + "/" + name);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QByteArray word97 = bytesOf("Bug53380_1.doc");
        const QByteArray word2 = bytesOf("word2.doc");
        QVERIFY(wordfile::wordFileDamage(word97).empty());
        QVERIFY(wordfile::wordFileDamage(word2).empty());
        // Cut at nine tenths, a Word 97 file opens without a word from the
        // office; so does a Word for Windows 2 file cut in half.
        const QString cut97 = write(dir.filePath("cut97.doc"), word97.left(word97.size() * 9 / 10));
        const QString cut2 = write(dir.filePath("cut2.doc"), word2.left(word2.size() / 2));
        auto app = office::startLibreOffice();
        auto doc = app->open(cut97);
        QCOMPARE(doc->damage(), "文档已损坏：文件被截短（其中的流“1Table”超出文件末尾）");
        doc->close();
        doc = app->open(cut2);
        QCOMPARE(doc->damage(), "文档已损坏：文件被截短（只有7331字节，应有14662字节）");
        doc->close();
        app->quit();
        // Cut in half, the office itself refuses a Word 97 file.
        QVERIFY(wordfile::wordFileDamage(word97.left(word97.size() / 2)).find("文件被截短") != std::string::npos);
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
            QCOMPARE(f.description(), "文档的处理超过3秒，办公软件已被结束");
        }
        QTRY_COMPARE(officeChildren(), QList<int>{});
    }
};

QTEST_GUILESS_MAIN(tst_hostile)
#include "tst_hostile.moc"
