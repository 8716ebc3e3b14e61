#include "wordfile/CompoundFile.h"

#include <QtEndian>

#include <optional>
#include <vector>

namespace wordfile {
namespace {

constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kLastRegular = 0xFFFFFFFA;

// The document's bytes as read for the office: nothing is read again.
class Reader {
public:
    explicit Reader(const QByteArray &bytes) : bytes_(bytes) {}
    qint64 size() const { return bytes_.size(); }

    std::optional<QByteArray> read(qint64 at, qint64 count) const
    {
        if (at < 0 || count < 0 || at + count > size())
            return std::nullopt;
        return bytes_.mid(at, count);
    }

private:
    const QByteArray &bytes_;
};

quint32 word32(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

class CompoundFile {
public:
    CompoundFile(const Reader &file, const QByteArray &header)
        : file_(file), sectorSize_(qint64(1) << qFromLittleEndian<quint16>(header.constData() + 0x1E))
    {
    }

    bool sectorPresent(quint32 sector) const
    {
        return sector <= kLastRegular && offsetOf(sector) + sectorSize_ <= file_.size();
    }
    std::optional<QByteArray> sector(quint32 sector) const
    {
        return sectorPresent(sector) ? file_.read(offsetOf(sector), sectorSize_) : std::nullopt;
    }
    qint64 sectorSize() const { return sectorSize_; }

    // The allocation table, from the sectors the header and its extension
    // name; empty when any of them is missing.
    bool readTable(const QByteArray &header)
    {
        const quint32 tableSectors = word32(header, 0x2C);
        std::vector<quint32> where;
        for (int i = 0; i < 109 && where.size() < tableSectors; ++i)
            where.push_back(word32(header, 0x4C + 4 * i));
        quint32 next = word32(header, 0x44);
        for (quint32 hops = 0; where.size() < tableSectors && hops <= tableSectors; ++hops) {
            const auto extension = sector(next);
            if (!extension)
                return false;
            const qsizetype entries = sectorSize_ / 4 - 1;
            for (qsizetype i = 0; i < entries && where.size() < tableSectors; ++i)
                where.push_back(word32(*extension, 4 * i));
            next = word32(*extension, 4 * entries);
        }
        for (const quint32 at : where) {
            const auto part = sector(at);
            if (!part)
                return false;
            for (qsizetype i = 0; i < sectorSize_ / 4; ++i)
                table_.push_back(word32(*part, 4 * i));
        }
        return where.size() == tableSectors;
    }

    // The sectors of a chain, or nothing when it leaves the file, loops or breaks.
    std::optional<std::vector<quint32>> chain(quint32 start) const
    {
        std::vector<quint32> sectors;
        for (quint32 at = start; at != kEndOfChain; at = table_[at]) {
            if (!sectorPresent(at) || at >= table_.size() || sectors.size() > table_.size())
                return std::nullopt;
            sectors.push_back(at);
        }
        return sectors;
    }

private:
    qint64 offsetOf(quint32 sector) const { return (qint64(sector) + 1) * sectorSize_; }

    const Reader &file_;
    qint64 sectorSize_;
    std::vector<quint32> table_;
};

QString entryName(const QByteArray &entry)
{
    const int bytes = std::min<int>(qFromLittleEndian<quint16>(entry.constData() + 0x40), 64);
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(entry.constData()), std::max(bytes / 2 - 1, 0));
}

} // namespace

std::string compoundFileDamage(const QByteArray &bytes)
{
    const Reader file(bytes);
    const auto header = file.read(0, 512);
    if (!header || header->left(8) != QByteArray::fromHex("d0cf11e0a1b11ae1"))
        return {};
    const quint16 shift = qFromLittleEndian<quint16>(header->constData() + 0x1E);
    if (shift != 9 && shift != 12)
        return "文档已损坏：文件头无效";
    CompoundFile compound(file, *header);
    const std::string cutShort = "文档已损坏：文件被截短";
    if (!compound.readTable(*header))
        return cutShort + "（缺少分配表）";
    const auto directory = compound.chain(word32(*header, 0x30));
    if (!directory)
        return cutShort + "（缺少目录）";
    const quint32 smallStreams = word32(*header, 0x38);
    for (const quint32 at : *directory) {
        const auto entries = compound.sector(at);
        for (qsizetype e = 0; entries && e + 128 <= entries->size(); e += 128) {
            const QByteArray entry = entries->mid(e, 128);
            const quint8 type = quint8(entry[0x42]);
            const quint64 size = qFromLittleEndian<quint64>(entry.constData() + 0x78)
                                 & (shift == 9 ? 0xFFFFFFFF : ~0ULL);
            // Streams below the cut-off live inside the root's own stream.
            const bool ownSectors = type == 5 || (type == 2 && size >= smallStreams);
            if (!ownSectors || size == 0)
                continue;
            const auto sectors = compound.chain(word32(entry, 0x74));
            if (!sectors || quint64(sectors->size()) * compound.sectorSize() < size)
                return cutShort + "（其中的流“" + entryName(entry).toStdString() + "”超出文件末尾）";
        }
    }
    return {};
}

} // namespace wordfile
