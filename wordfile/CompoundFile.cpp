#include "wordfile/CompoundFile.h"

#include <QtEndian>

#include <algorithm>
#include <vector>

namespace wordfile {
namespace {

constexpr quint32 kEndOfChain = 0xFFFFFFFE;

quint32 word32(const char *at)
{
    return qFromLittleEndian<quint32>(at);
}

// A stranger's file may name any count and any chain: everything here is
// bounded by the sectors the file really holds, and every sector is walked
// at most once, however the chains point.
class CompoundFile {
public:
    CompoundFile(const QByteArray &bytes, quint16 shift)
        : bytes_(bytes), sectorSize_(qint64(1) << shift), sectors_(std::max<qint64>(bytes.size() / sectorSize_ - 1, 0))
    {
    }

    qint64 sectorSize() const { return sectorSize_; }
    bool sectorPresent(quint32 sector) const { return qint64(sector) < sectors_; }
    const char *sector(quint32 sector) const { return bytes_.constData() + (qint64(sector) + 1) * sectorSize_; }

    // Where the allocation table's sectors are, from the header and its
    // extension chain; false when any of them is missing or the chain loops.
    bool readTable()
    {
        const quint32 tableSectors = word32(bytes_.constData() + 0x2C);
        if (qint64(tableSectors) > sectors_)
            return false;
        for (int i = 0; i < 109 && tableAt_.size() < tableSectors; ++i)
            tableAt_.push_back(word32(bytes_.constData() + 0x4C + 4 * i));
        const qint64 perExtension = sectorSize_ / 4 - 1;
        std::vector<bool> walked(sectors_);
        for (quint32 next = word32(bytes_.constData() + 0x44); tableAt_.size() < tableSectors;) {
            if (!sectorPresent(next) || walked[next])
                return false;
            walked[next] = true;
            const char *extension = sector(next);
            for (qint64 i = 0; i < perExtension && tableAt_.size() < tableSectors; ++i)
                tableAt_.push_back(word32(extension + 4 * i));
            next = word32(extension + 4 * perExtension);
        }
        for (const quint32 at : tableAt_)
            if (!sectorPresent(at))
                return false;
        chainLength_.assign(sectors_, kUnknown);
        return true;
    }

    // How many sectors the chain from `start` has, or -1 when it leaves the
    // file, loops or breaks. What is learnt of a sector is kept, so chains
    // that join (or directory entries that share one) cost nothing again.
    qint64 chainLength(quint32 start)
    {
        std::vector<quint32> path;
        qint64 length = 0;
        for (quint32 at = start;; at = next(at)) {
            if (at == kEndOfChain)
                break;
            if (!sectorPresent(at) || !inTable(at) || chainLength_[at] == kOnPath) {
                length = kBroken;
                break;
            }
            if (chainLength_[at] != kUnknown) {
                length = chainLength_[at];
                break;
            }
            chainLength_[at] = kOnPath;
            path.push_back(at);
        }
        for (auto at = path.rbegin(); at != path.rend(); ++at)
            chainLength_[*at] = length = length == kBroken ? kBroken : length + 1;
        return length;
    }

    quint32 next(quint32 sector) const
    {
        const qint64 perSector = sectorSize_ / 4;
        return word32(this->sector(tableAt_[sector / perSector]) + 4 * (sector % perSector));
    }

private:
    static constexpr qint64 kUnknown = -2;
    static constexpr qint64 kOnPath = -3;
    static constexpr qint64 kBroken = -1;

    bool inTable(quint32 sector) const { return qint64(sector) < qint64(tableAt_.size()) * (sectorSize_ / 4); }

    const QByteArray &bytes_;
    qint64 sectorSize_;
    qint64 sectors_;
    std::vector<quint32> tableAt_;
    std::vector<qint64> chainLength_;
};

QString entryName(const char *entry)
{
    const int bytes = std::min<int>(qFromLittleEndian<quint16>(entry + 0x40), 64);
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(entry), std::max(bytes / 2 - 1, 0));
}

} // namespace

std::string compoundFileDamage(const QByteArray &bytes)
{
    if (bytes.size() < 512 || !bytes.startsWith(QByteArray::fromHex("d0cf11e0a1b11ae1")))
        return {};
    const quint16 shift = qFromLittleEndian<quint16>(bytes.constData() + 0x1E);
    if (shift != 9 && shift != 12)
        return "文档已损坏：文件头无效";
    CompoundFile compound(bytes, shift);
    const std::string cutShort = "文档已损坏：文件被截短";
    if (!compound.readTable())
        return cutShort + "（缺少分配表）";
    quint32 directory = word32(bytes.constData() + 0x30);
    const qint64 directorySectors = compound.chainLength(directory);
    if (directorySectors < 0)
        return cutShort + "（缺少目录）";
    const quint32 smallStreams = word32(bytes.constData() + 0x38);
    for (qint64 d = 0; d < directorySectors; ++d, directory = compound.next(directory)) {
        const char *entries = compound.sector(directory);
        for (qint64 e = 0; e + 128 <= compound.sectorSize(); e += 128) {
            const char *entry = entries + e;
            const quint8 type = quint8(entry[0x42]);
            const quint64 size = qFromLittleEndian<quint64>(entry + 0x78) & (shift == 9 ? 0xFFFFFFFF : ~0ULL);
            // Streams below the cut-off live inside the root's own stream.
            const bool ownSectors = type == 5 || (type == 2 && size >= smallStreams);
            if (!ownSectors || size == 0)
                continue;
            const qint64 sectors = compound.chainLength(word32(entry + 0x74));
            if (sectors < 0 || quint64(sectors) * quint64(compound.sectorSize()) < size)
                return cutShort + "（其中的流“" + entryName(entry).toStdString() + "”超出文件末尾）";
        }
    }
    return {};
}

} // namespace wordfile
