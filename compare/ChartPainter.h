#pragma once
// Draws the comparison chart with Qt's own painting: horizontal bars, one group per operation
// (its name on the left), one bar per target in the legend's colours, the median written at
// the bar's end, a linear or logarithmic millisecond axis. The same drawing goes to a PNG
// (QImage) and an SVG (QSvgGenerator). Needs no display: a QGuiApplication on the offscreen
// platform is made for the drawing when the program has none.

#include "compare/ChartData.h"

#include <filesystem>
#include <string>

// Writes both files; the empty text on success, otherwise what could not be written.
std::string writeChart(const TChartData& chart, const std::filesystem::path& pngFile,
                       const std::filesystem::path& svgFile);
