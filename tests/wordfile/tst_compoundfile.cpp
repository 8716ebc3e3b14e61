#include "wordfile/WordFileDamage.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QtEndian>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray testDocument(const QString &name)
{
    QFile file(QStringLiteral(PAGEGRAB_TESTDOCS) + "/" + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void put32(QByteArray &bytes, qsizetype at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

// A compound file of 4096-byte sectors: one stream's chain of `shared`
// sectors, then `directory` sectors of entries that all name that stream.
QByteArray sharedChainFile(quint32 shared, quint32 directory)
{
    quint32 table = 1;
    while (table * 1024 < shared + directory + table)
        ++table;
    const quint32 sectors = shared + directory + table;
    QByteArray bytes(qsizetype(sectors + 1) * 4096, '\0');
    bytes.replace(0, 8, QByteArray::fromHex("d0cf11e0a1b11ae1"));
    qToLittleEndian<quint16>(12, bytes.data() + 0x1E);
    put32(bytes, 0x2C, table);
    put32(bytes, 0x30, shared);
    put32(bytes, 0x38, 4096);
    put32(bytes, 0x44, 0xFFFFFFFE);
    for (quint32 i = 0; i < 109; ++i)
        put32(bytes, 0x4C + 4 * i, i < table ? shared + directory + i : 0xFFFFFFFF);
    const auto sector = [](quint32 at) { return qsizetype(at + 1) * 4096; };
    const auto entry = [&](quint32 at, quint32 value) {
        put32(bytes, sector(shared + directory + at / 1024) + 4 * (at % 1024), value);
    };
    for (quint32 at = 0; at < shared + directory; ++at)
        entry(at, at + 1 == shared || at + 1 == shared + directory ? 0xFFFFFFFE : at + 1);
    for (quint32 at = shared + directory; at < sectors; ++at)
        entry(at, 0xFFFFFFFD);
    for (qsizetype at = sector(shared); at < sector(shared + directory); at += 128) {
        bytes[at] = 'S';
        qToLittleEndian<quint16>(4, bytes.data() + at + 0x40);
        bytes[at + 0x42] = 2;
        put32(bytes, at + 0x74, 0);
        put32(bytes, at + 0x78, shared * 4096);
    }
    return bytes;
}

// The most a child's memory grew while it checked the bytes, in bytes.
qint64 memoryToCheck(const QByteArray &bytes)
{
    const auto peakOfChild = [](auto work) {
        const pid_t child = fork();
        if (child == 0) {
            work();
            _exit(0);
        }
        int status = 0;
        struct rusage usage {};
        wait4(child, &status, 0, &usage);
        return qint64(usage.ru_maxrss) * 1024;
    };
    const qint64 idle = peakOfChild([] {});
    return peakOfChild([&] { (void)wordfile::wordFileDamage(bytes); }) - idle;
}

} // namespace

class tst_compoundfile : public QObject {
    Q_OBJECT

private slots:
    void soundFilesPassAndBrokenChainsAreDamage()
    {
        QVERIFY(wordfile::wordFileDamage(testDocument("simple.doc")).empty());
        QVERIFY(wordfile::wordFileDamage(testDocument("testPictures.doc")).empty());
        QVERIFY(wordfile::wordFileDamage(sharedChainFile(3, 1)).empty());
        QByteArray looping = sharedChainFile(3, 1);
        put32(looping, 5 * 4096 + 4 * 2, 0);
        QCOMPARE(wordfile::wordFileDamage(looping), "文档已损坏：文件被截短（其中的流“S”超出文件末尾）");
    }

    // The allocation table's count comes from the header and its extension
    // chain may name itself: 2,000,000 sectors in a file of 38.
    void aCountBombCostsLittle()
    {
        QByteArray bomb = testDocument("simple.doc");
        QVERIFY(!bomb.isEmpty());
        put32(bomb, 0x2C, 2'000'000);
        for (int i = 0; i < 109; ++i)
            put32(bomb, 0x4C + 4 * i, 0);
        put32(bomb, 0x44, 0);
        bomb.replace(512, 512, QByteArray(512, '\0'));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(wordfile::wordFileDamage(bomb), "文档已损坏：文件被截短（缺少分配表）");
        QCOMPARE_LT(clock.elapsed(), 1000);
        QCOMPARE_LT(memoryToCheck(bomb), 50 * 1024 * 1024);
    }

    // 24 MB whose 96,000 directory entries all name one chain of 3,000 sectors.
    void sharedChainsAreWalkedOnce()
    {
        const QByteArray shared = sharedChainFile(3000, 3000);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(wordfile::wordFileDamage(shared).empty());
        QCOMPARE_LT(clock.elapsed(), 500);
    }
};

QTEST_GUILESS_MAIN(tst_compoundfile)
#include "tst_compoundfile.moc"
