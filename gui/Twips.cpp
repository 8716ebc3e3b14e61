#include "gui/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVariant>
#include <QWidget>

#include <cmath>

namespace twips {
namespace {

const char kWidth[] = "twipsWidth";

double perPixel()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    return 1440.0 / dpi;
}

} // namespace

int toPixels(double twips)
{
    return static_cast<int>(std::lround(twips / perPixel()));
}

double fromPixels(int pixels)
{
    return pixels * perPixel();
}

void place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
    widget->setProperty(kWidth, width);
}

double width(const QWidget *widget)
{
    const QVariant stored = widget->property(kWidth);
    return stored.isValid() ? stored.toDouble() : fromPixels(widget->width());
}

bool setWidth(QWidget *widget, double width)
{
    if (width < 0)
        return false;
    widget->resize(toPixels(width), widget->height());
    widget->setProperty(kWidth, width);
    return true;
}

} // namespace twips
