#pragma once

#include "office/LibreOffice.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <memory>

namespace office {

// Renders pictures through one office instance, for as many files as needed.
class PictureRenderer {
public:
    virtual ~PictureRenderer() = default;
    // The EMF file's picture as the office drew it at the given size, a PNG
    // (what the office draws larger than it can is smaller); throws Failure.
    virtual QByteArray render(const QString &emfPath, QSize pixels) = 0;
    virtual void quit() = 0;
};

std::unique_ptr<PictureRenderer> startPictureRenderer(const Limits &limits = {});

} // namespace office
