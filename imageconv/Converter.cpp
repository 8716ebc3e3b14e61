#include "imageconv/Converter.h"

namespace imageconv {

static_assert(sizeof(kToken) - 1 == 20, "the token is twenty characters in e-mail form");

QString converterPath(const QString &programFolder)
{
    return programFolder + "/Convix.dll";
}

QStringList converterArguments(const QString &outputFolder)
{
    return {kToken, outputFolder};
}

} // namespace imageconv
