// The chart files: both written and readable by Qt's own readers, the axis chosen by the
// spread, and a clear error instead of a crash when the folder cannot take them.

#include "ProgramRun.h"

#include "compare/ChartPainter.h"

#include <QImage>
#include <QSvgRenderer>

#include <gtest/gtest.h>

namespace {

TChartData sample(double largest) {
    TChartData chart;
    chart.title = "test chart";
    chart.series = {"sqlite", "pg"};
    chart.groups = {"Připojení k datovému zdroji", "Generování zkušebních dat"};
    chart.values = {{2.0, 12.0}, {largest, std::nullopt}};
    chart.failed = {{false, false}, {false, true}};
    return chart;
}

} // namespace

TEST(CompareChart, PngAndSvgAreWrittenAndValid) {
    TTemporaryDirectory folder;
    const auto png = folder.path() / "c.png";
    const auto svg = folder.path() / "c.svg";
    ASSERT_EQ(writeChart(sample(11500), png, svg), "");

    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString(png.string()), "PNG"));
    EXPECT_EQ(image.width(), 1000);
    EXPECT_GT(image.height(), 100);
    // Something was drawn: not every pixel is the white background.
    bool drawn = false;
    for (int y = 0; y < image.height() && !drawn; y += 3)
        for (int x = 0; x < image.width() && !drawn; x += 3)
            drawn = image.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_TRUE(drawn);

    QSvgRenderer renderer(QString::fromStdString(svg.string()));
    EXPECT_TRUE(renderer.isValid());
    EXPECT_EQ(renderer.viewBox().width(), 1000);
    EXPECT_EQ(renderer.viewBox().height(), image.height());
    const std::string text = readWholeFile(svg);
    EXPECT_NE(text.find("<svg"), std::string::npos);
    EXPECT_NE(text.find("</svg>"), std::string::npos);
    EXPECT_NE(text.find("logarithmic scale"), std::string::npos);
}

TEST(CompareChart, AxisIsLogarithmicOnlyWhenTheSpreadNeedsIt) {
    EXPECT_TRUE(needsLogScale(sample(11500)));
    EXPECT_FALSE(needsLogScale(sample(150)));
    // Zero and failed medians do not count towards the spread.
    TChartData zeros = sample(150);
    zeros.values[0][0] = 0.0;
    EXPECT_FALSE(needsLogScale(zeros));
}

TEST(CompareChart, AnUnwritableFolderIsReportedNotFatal) {
    TTemporaryDirectory folder;
    const auto missing = folder.path() / "no" / "such" / "folder";
    const std::string error = writeChart(sample(100), missing / "c.png", missing / "c.svg");
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
}
