#include "emf/TransparentFills.h"

#include "emf/Records.h"

#include <QList>
#include <QMap>
#include <QPointF>
#include <QSet>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <optional>

namespace emf {
namespace {

constexpr quint32 kComment = 70;
constexpr quint32 kPolygon = 3;
constexpr quint32 kPolyPolygon = 8;
constexpr quint32 kPolygon16 = 86;
constexpr quint32 kPolyPolygon16 = 91;
constexpr quint32 kSaveDc = 33;
constexpr quint32 kRestoreDc = 34;
constexpr quint32 kSelectObject = 37;
constexpr quint32 kCreatePen = 38;
constexpr quint32 kCreateBrush = 39;
constexpr quint32 kDeleteObject = 40;
constexpr quint32 kEmfPlusComment = 0x2B464D45;

constexpr quint16 kPlusObject = 0x4008;
constexpr quint16 kPlusFillPolygon = 0x400C;
constexpr quint16 kPlusFillPath = 0x4014;
constexpr quint16 kColourBrush = 0x8000;
constexpr quint16 kWholeNumberPoints = 0x4000;
constexpr quint16 kRelativePoints = 0x0800;
constexpr quint16 kPathObject = 3 << 8;
constexpr quint32 kPlusGraphicsVersion = 0xDBC01002;
constexpr int kPlusObjectIds = 64;

quint32 u32(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

quint16 u16(const QByteArray &b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

void put32(QByteArray &b, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    b.append(bytes, 4);
}

void put16(QByteArray &b, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    b.append(bytes, 2);
}

void putFloat(QByteArray &b, double value)
{
    const float f = float(value);
    quint32 bits;
    std::memcpy(&bits, &f, 4);
    put32(b, bits);
}

void putRecord(QByteArray &b, quint32 type, const QList<quint32> &fields)
{
    put32(b, type);
    put32(b, 8 + 4 * fields.size());
    for (quint32 field : fields)
        put32(b, field);
}

// The EMF+ records inside a comment record; none when it holds no EMF+.
struct PlusRecord {
    quint16 type;
    quint16 flags;
    qsizetype at;
    quint32 size;
};

QList<PlusRecord> plusRecords(const QByteArray &emf, const EmfRecord &comment)
{
    if (comment.type != kComment || comment.size < 16 || u32(emf, comment.at + 12) != kEmfPlusComment)
        return {};
    const qsizetype end = comment.at + 12 + std::min<quint64>(u32(emf, comment.at + 8), comment.size - 12);
    QList<PlusRecord> records;
    for (qsizetype at = comment.at + 16; end - at >= 12;) {
        const quint32 size = u32(emf, at + 4);
        if (size < 12 || size > quint64(end - at))
            return {};
        records.append({u16(emf, at), u16(emf, at + 2), at, size});
        at += size;
    }
    return records;
}

struct TransparentFill {
    quint32 argb;
    quint32 points;
};

std::optional<TransparentFill> transparentFill(const QByteArray &emf, const EmfRecord &comment)
{
    const auto records = plusRecords(emf, comment);
    if (records.size() != 1 || records[0].type != kPlusFillPolygon || !(records[0].flags & kColourBrush)
        || (records[0].flags & kRelativePoints) || records[0].size < 20)
        return std::nullopt;
    const PlusRecord &fill = records[0];
    const quint32 points = u32(emf, fill.at + 16);
    if (20 + quint64(points) * (fill.flags & kWholeNumberPoints ? 4 : 8) > fill.size)
        return std::nullopt;
    return TransparentFill{u32(emf, fill.at + 12), points};
}

struct Outlines {
    QList<quint32> counts;
    QList<QPointF> points;
};

// The outlines a plain fill record fills: one (a polygon) or several (a
// poly-polygon), in 32- or 16-bit points. Curves the writer draws as paths
// are not read, and stay as it wrote them.
std::optional<Outlines> outlinesOf(const QByteArray &emf, const EmfRecord &record)
{
    const bool several = record.type == kPolyPolygon || record.type == kPolyPolygon16;
    const bool one = record.type == kPolygon || record.type == kPolygon16;
    if ((!several && !one) || record.size < (several ? 32 : 28))
        return std::nullopt;
    const int pointSize = record.type == kPolyPolygon || record.type == kPolygon ? 8 : 4;
    const quint32 polygons = several ? u32(emf, record.at + 24) : 1;
    const quint32 points = u32(emf, record.at + (several ? 28 : 24));
    const qsizetype countsAt = record.at + 32;
    const qsizetype first = several ? countsAt + 4 * qsizetype(polygons) : record.at + 28;
    if (quint64(first - record.at) + quint64(points) * pointSize > record.size)
        return std::nullopt;
    Outlines result;
    quint64 total = 0;
    for (quint32 i = 0; i < polygons; ++i)
        total += result.counts.emplace_back(several ? u32(emf, countsAt + 4 * qsizetype(i)) : points);
    if (total != points)
        return std::nullopt;
    for (quint32 i = 0; i < points; ++i) {
        const qsizetype at = first + qsizetype(i) * pointSize;
        if (pointSize == 8)
            result.points.append(QPointF(qint32(u32(emf, at)), qint32(u32(emf, at + 4))));
        else
            result.points.append(QPointF(qint16(u16(emf, at)), qint16(u16(emf, at + 2))));
    }
    return result;
}

// Where EMF+ readers put a logical point: on the reference device, where
// the window and viewport of the plain records put it. (The writer's own
// EMF+ points are at some other scale, so its fill lands away from its
// outline.) None for a picture that maps in any other way.
struct AxisMapping {
    double scale[2];
    double offset[2];
    QPointF operator()(QPointF p) const { return {p.x() * scale[0] + offset[0], p.y() * scale[1] + offset[1]}; }
};

std::optional<AxisMapping> deviceMapping(const QByteArray &emf, const QList<EmfRecord> &records)
{
    constexpr quint32 kSetWindowExt = 9, kSetWindowOrg = 10, kSetViewportExt = 11, kSetViewportOrg = 12,
                      kSetMapMode = 17, kScaleViewportExt = 31, kScaleWindowExt = 32, kSetWorldTransform = 35,
                      kModifyWorldTransform = 36;
    constexpr quint32 kAnisotropic = 8;
    QMap<quint32, QPointF> set;
    for (const EmfRecord &record : records) {
        switch (record.type) {
        case kScaleViewportExt:
        case kScaleWindowExt:
        case kSetWorldTransform:
        case kModifyWorldTransform:
            return std::nullopt;
        case kSetMapMode:
        case kSetWindowExt:
        case kSetWindowOrg:
        case kSetViewportExt:
        case kSetViewportOrg:
            if (set.contains(record.type) || record.size < (record.type == kSetMapMode ? 12 : 16))
                return std::nullopt;
            set[record.type] = QPointF(qint32(u32(emf, record.at + 8)),
                                       record.type == kSetMapMode ? 0 : qint32(u32(emf, record.at + 12)));
            break;
        }
    }
    const QPointF window = set.value(kSetWindowExt), viewport = set.value(kSetViewportExt);
    if (set.value(kSetMapMode).x() != kAnisotropic || window.x() == 0 || window.y() == 0)
        return std::nullopt;
    const QPointF windowOrg = set.value(kSetWindowOrg), viewportOrg = set.value(kSetViewportOrg);
    AxisMapping mapping{{viewport.x() / window.x(), viewport.y() / window.y()}, {}};
    mapping.offset[0] = viewportOrg.x() - windowOrg.x() * mapping.scale[0];
    mapping.offset[1] = viewportOrg.y() - windowOrg.y() * mapping.scale[1];
    return mapping;
}

// Every outline as one EMF+ path object, then a fill of it in the colour.
QByteArray plusPathFill(const Outlines &outlines, const AxisMapping &mapping, quint32 argb, quint8 objectId)
{
    const qsizetype count = outlines.points.size();
    const qsizetype typesPadded = (count + 3) / 4 * 4;
    QByteArray plus;
    put16(plus, kPlusObject);
    put16(plus, kPathObject | objectId);
    put32(plus, quint32(12 + 12 + 8 * count + typesPadded));
    put32(plus, quint32(12 + 8 * count + typesPadded));
    put32(plus, kPlusGraphicsVersion);
    put32(plus, quint32(count));
    put32(plus, 0); // float points, one type byte each
    for (const QPointF &p : outlines.points) {
        const QPointF mapped = mapping(p);
        putFloat(plus, mapped.x());
        putFloat(plus, mapped.y());
    }
    constexpr char kStart = 0, kLine = 1, kCloseSubpath = char(0x80);
    for (quint32 polygonCount : outlines.counts)
        for (quint32 i = 0; i < polygonCount; ++i)
            plus.append(i == 0 ? kStart : i + 1 == polygonCount ? char(kLine | kCloseSubpath) : kLine);
    plus.append(QByteArray(typesPadded - count, '\0'));
    put16(plus, kPlusFillPath);
    put16(plus, kColourBrush | objectId);
    put32(plus, 16);
    put32(plus, 4);
    put32(plus, argb);
    return plus;
}

QByteArray plusComment(const QByteArray &plus)
{
    QByteArray comment;
    put32(comment, kComment);
    put32(comment, quint32(16 + plus.size()));
    put32(comment, quint32(4 + plus.size()));
    put32(comment, kEmfPlusComment);
    return comment + plus;
}

// The colour a transparent fill shows on white paper, as a COLORREF.
quint32 onWhitePaper(quint32 argb)
{
    const double alpha = (argb >> 24) / 255.0;
    quint32 colorRef = 0;
    for (int shift : {16, 8, 0}) {
        const double channel = (argb >> shift) & 0xFF;
        const quint32 shown = quint32(std::lround(channel * alpha + 255 * (1 - alpha)));
        colorRef |= shown << (16 - shift); // red is low in a COLORREF, high in ARGB
    }
    return colorRef;
}

std::optional<quint8> unusedPlusObjectId(const QByteArray &emf, const QList<EmfRecord> &records)
{
    QSet<int> used;
    for (const EmfRecord &record : records)
        for (const PlusRecord &plus : plusRecords(emf, record))
            if (plus.type == kPlusObject)
                used.insert(plus.flags & 0xFF);
    for (int id = 0; id < kPlusObjectIds; ++id)
        if (!used.contains(id))
            return quint8(id);
    return std::nullopt;
}

// The drawing record a fill's comment stands for: the next one that is not
// a pen or brush change.
qsizetype drawingAfter(const QList<EmfRecord> &records, qsizetype comment)
{
    for (qsizetype i = comment + 1; i < records.size(); ++i)
        if (records[i].type != kCreateBrush && records[i].type != kSelectObject && records[i].type != kCreatePen
            && records[i].type != kDeleteObject)
            return i;
    return records.size();
}

} // namespace

void completeTransparentFills(QByteArray &emf)
{
    const auto records = wholeRecords(emf);
    // The fills laid out as the writer lays them out, found first: most pages
    // have none, and need nothing more worked out.
    struct Found {
        qsizetype comment;
        qsizetype drawing;
        TransparentFill fill;
        Outlines outlines;
    };
    QList<Found> found;
    for (qsizetype i = 1; i < records.size(); ++i) {
        const auto fill = transparentFill(emf, records[i]);
        if (!fill)
            continue;
        const qsizetype drawing = drawingAfter(records, i);
        const auto outlines = drawing < records.size() ? outlinesOf(emf, records[drawing]) : std::nullopt;
        // A path of more points than a record's size can say is left alone.
        constexpr qsizetype kMostPoints = 1 << 26;
        if (!outlines || outlines->counts.isEmpty() || outlines->counts[0] != fill->points
            || outlines->points.size() > kMostPoints)
            continue;
        found.append({i, drawing, *fill, *outlines});
        i = drawing;
    }
    if (found.isEmpty())
        return;
    // Handle 0 is no handle: a count of none is no count the writer gives.
    const quint16 handles = u16(emf, 56);
    const auto mapping = deviceMapping(emf, records);
    const auto objectId = unusedPlusObjectId(emf, records);
    if (handles == 0 || handles == 0xFFFF || !mapping || !objectId)
        return;
    // The brush is one more handle than the office used, selected inside a
    // saved state so the office's own brush is back afterwards.
    const quint32 brush = handles;
    QByteArray mended;
    qsizetype copiedUpTo = 0;
    for (const Found &each : found) {
        const EmfRecord &comment = records[each.comment];
        const EmfRecord &polygons = records[each.drawing];
        mended += emf.mid(copiedUpTo, comment.at - copiedUpTo);
        mended += plusComment(plusPathFill(each.outlines, *mapping, each.fill.argb, *objectId));
        mended += emf.mid(comment.at + comment.size, polygons.at - (comment.at + comment.size));
        putRecord(mended, kSaveDc, {});
        putRecord(mended, kCreateBrush, {brush, 0, onWhitePaper(each.fill.argb), 0});
        putRecord(mended, kSelectObject, {brush});
        mended += emf.mid(polygons.at, polygons.size);
        putRecord(mended, kRestoreDc, {quint32(-1)});
        putRecord(mended, kDeleteObject, {brush});
        copiedUpTo = polygons.at + polygons.size;
    }
    mended += emf.mid(copiedUpTo);
    // Five records more for each fill: the saved state, the brush made,
    // chosen, the state restored, the brush deleted.
    qToLittleEndian<quint32>(quint32(mended.size()), mended.data() + 48);
    qToLittleEndian<quint32>(quint32(records.size() + 5 * found.size()), mended.data() + 52);
    qToLittleEndian<quint16>(quint16(handles + 1), mended.data() + 56);
    emf = mended;
}

} // namespace emf
