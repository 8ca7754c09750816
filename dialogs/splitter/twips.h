#pragma once

class QWidget;

// Twips are the unit the dialogs' geometry is stated in: 1440 per logical inch, so 15 per
// pixel at 96 dpi (and on the offscreen platform).
namespace Twips {
double perPixel(const QWidget *widget = nullptr);
int toPixels(double twips, const QWidget *widget = nullptr);
double fromPixels(int pixels, const QWidget *widget = nullptr);
} // namespace Twips
