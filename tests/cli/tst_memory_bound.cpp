#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdint>

#include <unistd.h>

namespace {

const QString kTestDocs = QStringLiteral(PAGEGRAB_TESTDOCS);

constexpr int kPages = 200;
constexpr int kSide = 1000;
constexpr long kMostKilobytes = 150 * 1024;

std::uint32_t crc32Of(const QByteArray &bytes)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char byte : bytes)
        c = table[(c ^ static_cast<unsigned char>(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void putLittleEndian(QByteArray &to, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        to += char((value >> (8 * i)) & 0xFF);
}

// A ZIP of stored entries, as an OpenDocument package may be.
QByteArray zipOf(const QList<std::pair<QByteArray, QByteArray>> &entries)
{
    QByteArray zip, directory;
    for (const auto &[name, bytes] : entries) {
        const std::uint32_t offset = zip.size();
        QByteArray fields;
        putLittleEndian(fields, 20, 2); // version needed
        putLittleEndian(fields, 0, 2);  // flags
        putLittleEndian(fields, 0, 2);  // stored
        putLittleEndian(fields, 0, 4);  // time and date
        putLittleEndian(fields, crc32Of(bytes), 4);
        putLittleEndian(fields, bytes.size(), 4);
        putLittleEndian(fields, bytes.size(), 4);
        putLittleEndian(fields, name.size(), 2);
        putLittleEndian(fields, 0, 2); // extra
        zip += QByteArray("PK\x03\x04") + fields + name + bytes;
        directory += QByteArray("PK\x01\x02");
        putLittleEndian(directory, 20, 2); // version made by
        directory += fields;
        putLittleEndian(directory, 0, 2 + 2 + 2 + 4); // comment, disk, attributes
        putLittleEndian(directory, offset, 4);
        directory += name;
    }
    const std::uint32_t at = zip.size();
    zip += directory + QByteArray("PK\x05\x06");
    putLittleEndian(zip, 0, 4);
    putLittleEndian(zip, entries.size(), 2);
    putLittleEndian(zip, entries.size(), 2);
    putLittleEndian(zip, directory.size(), 4);
    putLittleEndian(zip, at, 4);
    putLittleEndian(zip, 0, 2);
    return zip;
}

// A 24-bit picture of noise, which no encoder makes small.
QByteArray noiseBitmap()
{
    const int row = kSide * 3;
    QByteArray bmp("BM");
    putLittleEndian(bmp, 54 + row * kSide, 4);
    putLittleEndian(bmp, 0, 4);
    putLittleEndian(bmp, 54, 4);
    putLittleEndian(bmp, 40, 4);
    putLittleEndian(bmp, kSide, 4);
    putLittleEndian(bmp, kSide, 4);
    putLittleEndian(bmp, 1, 2);
    putLittleEndian(bmp, 24, 2);
    putLittleEndian(bmp, 0, 4 * 6);
    std::uint32_t seed = 12345;
    for (int i = 0; i < row * kSide; ++i) {
        seed = seed * 1664525u + 1013904223u;
        bmp += char(seed >> 24);
    }
    return bmp;
}

// An OpenDocument text of many pages, each one picture of a million pixels:
// its pictures weigh far more than its file.
QByteArray pictureHeavyDocument()
{
    QByteArray pages;
    for (int page = 1; page <= kPages; ++page)
        pages += "<text:p text:style-name=\"P1\"><draw:frame draw:name=\"i" + QByteArray::number(page)
                 + "\" text:anchor-type=\"as-char\" svg:width=\"15cm\" svg:height=\"15cm\">"
                   "<draw:image xlink:href=\"Pictures/p.bmp\" xlink:type=\"simple\" xlink:show=\"embed\" "
                   "xlink:actuate=\"onLoad\"/></draw:frame></text:p>";
    const QByteArray content =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
        "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
        "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
        "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" "
        "xmlns:xlink=\"http://www.w3.org/1999/xlink\" office:version=\"1.2\"><office:automatic-styles>"
        "<style:style style:name=\"P1\" style:family=\"paragraph\"><style:paragraph-properties "
        "fo:break-before=\"page\"/></style:style></office:automatic-styles><office:body><office:text>"
        + pages + "</office:text></office:body></office:document-content>";
    const QByteArray manifest =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><manifest:manifest "
        "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" manifest:version=\"1.2\">"
        "<manifest:file-entry manifest:full-path=\"/\" manifest:media-type=\"application/"
        "vnd.oasis.opendocument.text\"/><manifest:file-entry manifest:full-path=\"content.xml\" "
        "manifest:media-type=\"text/xml\"/><manifest:file-entry manifest:full-path=\"Pictures/p.bmp\" "
        "manifest:media-type=\"image/bmp\"/></manifest:manifest>";
    return zipOf({{"mimetype", "application/vnd.oasis.opendocument.text"},
                  {"META-INF/manifest.xml", manifest},
                  {"content.xml", content},
                  {"Pictures/p.bmp", noiseBitmap()}});
}

long statusKilobytes(qint64 pid, const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = status.readAll();
    const qsizetype at = text.indexOf("\n" + field + ":");
    return at < 0 ? -1
                  : text.mid(at + field.size() + 2, text.indexOf('\n', at + 1) - at - field.size() - 2)
                        .trimmed()
                        .split(' ')
                        .value(0)
                        .toLong();
}

// Pictures of ours not yet named: files of the folder that are gone from it.
int unnamedPictures(qint64 pid, const QString &folder)
{
    int count = 0;
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString &fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[4096];
        const ssize_t n = readlink(QFile::encodeName(fds + "/" + fd).constData(), target, sizeof target);
        const QByteArray named(target, std::max<ssize_t>(n, 0));
        count += named.startsWith(QFile::encodeName(folder) + "/") && named.endsWith(" (deleted)");
    }
    return count;
}

} // namespace

class tst_memory_bound : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString heavy;

    QStringList everything(const QString &folder) const
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

private slots:
    void initTestCase()
    {
        heavy = dir.filePath("heavy.doc");
        QFile file(heavy);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(pictureHeavyDocument()) > kSide * kSide * 3);
    }

    // Pages go to disk as they come: however many a document has, our own
    // process holds a few at most, and a kill leaves what was written whole
    // and nothing half-made.
    void aDocumentsPicturesNeverPileUpInOurMemory()
    {
        const QString out = dir.filePath("out");
        QProcess batch;
        batch.start(PAGEGRAB_BATCH,
                    {"--jobs", "1", "--log", dir.filePath("run.log"), "--", out, kTestDocs + "/simple.doc", heavy});
        QVERIFY(batch.waitForStarted());
        long peak = 0;
        int heldAtOnce = 0;
        while (!batch.waitForFinished(100)) {
            peak = std::max(peak, statusKilobytes(batch.processId(), "VmHWM"));
            heldAtOnce = std::max(heldAtOnce, unnamedPictures(batch.processId(), out));
        }
        QCOMPARE(batch.exitCode(), 0);
        QCOMPARE(everything(out).size(), 1 + kPages);
        QVERIFY(QFileInfo(out + "/heavy-1.emf").size() > kSide * kSide * 3);
        qInfo("our peak: %ld MB, pictures held at once: %d", peak / 1024, heldAtOnce);
        QVERIFY2(peak < kMostKilobytes, qPrintable(QString::number(peak / 1024) + " MB"));
        QVERIFY(heldAtOnce > 1);

        // Killed while the pictures wait for their names: the earlier
        // document's stays whole, none of the later one's shows, and there
        // is nothing for the next start to clear away.
        const QString killed = dir.filePath("killed");
        QProcess again;
        again.start(PAGEGRAB_BATCH,
                    {"--jobs", "1", "--log", dir.filePath("run.log"), "--", killed, kTestDocs + "/simple.doc", heavy});
        QVERIFY(again.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(unnamedPictures(again.processId(), killed) >= 3, 240000);
        ::kill(pid_t(again.processId()), SIGKILL);
        QVERIFY(again.waitForFinished());
        QCOMPARE(everything(killed), QStringList{"simple-1.emf"});
        QFile first(out + "/simple-1.emf"), kept(killed + "/simple-1.emf");
        QVERIFY(first.open(QIODevice::ReadOnly) && kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), first.readAll());
    }
};

QTEST_GUILESS_MAIN(tst_memory_bound)
#include "tst_memory_bound.moc"
