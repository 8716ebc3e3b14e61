#include "wordfile/WordFileDamage.h"

#include "wordfile/CompoundFile.h"

#include <QtEndian>

namespace wordfile {

std::string wordFileDamage(const QByteArray &bytes)
{
    if (bytes.size() < 0x24)
        return {};
    // Word for Windows 1 and 2: the identifier, then at 0x20 the length of
    // the file as it was written.
    const quint16 ident = qFromLittleEndian<quint16>(bytes.constData());
    if (ident == 0xA59B || ident == 0xA5DB) {
        const quint32 written = qFromLittleEndian<quint32>(bytes.constData() + 0x20);
        if (written > quint32(bytes.size()))
            return "文档已损坏：文件被截短（只有" + std::to_string(bytes.size()) + "字节，应有"
                   + std::to_string(written) + "字节）";
        return {};
    }
    return compoundFileDamage(bytes);
}

} // namespace wordfile
