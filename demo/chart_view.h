#pragma once
// Draws the cooler chart with GDI: temperatures in degrees C on the left axis, cooler power in
// percent on the right, minutes since the link below, the run's events as marked lines, and a
// legend with the latest readings.

#include <windows.h>

#include "demo/cooler_chart.h"

namespace starwright::demo {

// Draws into `area` of the device context; `font` is the window's text font and `scale` its
// pixels per 96-dpi pixel.
void DrawChart(HDC dc, const RECT& area, const CoolerChart& chart, HFONT font, double scale);

}  // namespace starwright::demo
