#include "emf/WholePicture.h"

#include "emf/Records.h"

#include <QtEndian>

#include <stdexcept>

namespace emf {

FrameSize wholePictureFrame(const QByteArray &emf)
{
    if (emf.size() < kEmfHeaderSize || qFromLittleEndian<quint32>(emf.constData()) != kEmfHeader
        || emf.mid(40, 4) != " EMF")
        throw std::runtime_error("不是EMF图片");
    // The header records the whole file's length; a cut-off copy renders blank.
    if (emf.size() <= kLargestPicture && emf.size() < qFromLittleEndian<quint32>(emf.constData() + 48))
        throw std::runtime_error("图片已损坏：文件比其文件头所说的短");
    // The frame is in hundredths of a millimetre, both edges inclusive; its
    // edges are any 32-bit numbers, so the sizes are worked out in 64 bits.
    const auto at = [&](int offset) { return qint64(qFromLittleEndian<qint32>(emf.constData() + offset)); };
    const qint64 width = at(32) - at(24) + 1;
    const qint64 height = at(36) - at(28) + 1;
    if (width <= 1 || height <= 1)
        throw std::runtime_error("图片已损坏：图框为空");
    if (emf.size() > kLargestPicture)
        throw std::runtime_error("图片大于256 MB，不予绘制");
    if (wholeRecords(emf).isEmpty())
        throw std::runtime_error("图片已损坏：其中的记录不完整或已错乱");
    return {width, height};
}

} // namespace emf
