#pragma once

#include "office/LibreOffice.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

namespace office {

// Renders pictures through one office instance, for as many files as needed.
class PictureRenderer {
public:
    virtual ~PictureRenderer() = default;
    // The EMF file's picture as a bitmap of exactly the given size; throws Failure.
    virtual QImage render(const QString &emfPath, QSize pixels) = 0;
    virtual void quit() = 0;
};

std::unique_ptr<PictureRenderer> startPictureRenderer(const Limits &limits = {});

} // namespace office
