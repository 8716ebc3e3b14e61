#pragma once

class QWidget;

// The window's geometry is designed in twips (1/1440 inch). Widgets keep the
// twips they were given, so reading a width back gives exactly what was set,
// as the layout rules expect, while the pixels follow the screen's dpi.
namespace twips {

int toPixels(double twips);
double fromPixels(int pixels);

void place(QWidget *widget, int left, int top, int width, int height);
double width(const QWidget *widget);
// A negative width is refused like an invalid property value: false, and the
// widget keeps the width it had.
bool setWidth(QWidget *widget, double width);

} // namespace twips
