#include "compare/ChartPainter.h"

#include "compare/Reports.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

const QColor palette[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e),
                          QColor(0x2c, 0xa0, 0x2c), QColor(0xd6, 0x27, 0x28),
                          QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                          QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f)};

QColor colourOf(std::size_t series) {
    return palette[series % (sizeof palette / sizeof palette[0])];
}

// The value axis: where a number of milliseconds lands between 0 and 1, and its tick marks.
class TAxis {
public:
    explicit TAxis(const TChartData& chart) : logarithmic(needsLogScale(chart)) {
        double smallest = 0;
        double largest = 0;
        for (const auto& row : chart.values)
            for (const auto& value : row)
                if (value && *value > 0) {
                    smallest = smallest == 0 ? *value : std::min(smallest, *value);
                    largest = std::max(largest, *value);
                }
        if (largest <= 0)
            largest = 1;
        if (logarithmic) {
            // From the decade below the smallest value to a little beyond the largest, with a
            // tick at every decade in between.
            low = std::floor(std::log10(smallest));
            high = std::max(low + 1, std::log10(largest) + 0.12);
            for (double exponent = low; exponent <= high; ++exponent)
                ticks.push_back(std::pow(10.0, exponent));
        } else {
            // A 1-2-5 step giving at most about six ticks.
            const double raw = largest / 6;
            const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
            double step = magnitude;
            for (double factor : {1.0, 2.0, 5.0, 10.0})
                if (factor * magnitude >= raw) {
                    step = factor * magnitude;
                    break;
                }
            high = std::ceil(largest / step) * step;
            for (double tick = 0; tick <= high + step / 2; tick += step)
                ticks.push_back(tick);
        }
    }

    // 0 to 1 along the axis; 0 for values at or below the axis's start.
    double position(double milliseconds) const {
        if (!logarithmic)
            return high > 0 ? std::clamp(milliseconds / high, 0.0, 1.0) : 0;
        if (milliseconds <= 0)
            return 0;
        return std::clamp((std::log10(milliseconds) - low) / (high - low), 0.0, 1.0);
    }

    bool logarithmic;
    std::vector<double> ticks;

private:
    double low = 0;
    double high = 1;
};

struct TLayout {
    static constexpr int width = 1000;
    static constexpr int margin = 16;
    static constexpr int barHeight = 13;
    static constexpr int groupGap = 9;
    static constexpr int valueRoom = 84;
    int labelWidth = 0;
    int top = 0; // first group's top
    int height = 0;
    int plotLeft() const { return margin + labelWidth + 10; }
    int plotRight() const { return width - margin - valueRoom; }
    int groupHeight(std::size_t series) const {
        return static_cast<int>(std::max<std::size_t>(series, 1)) * barHeight + groupGap;
    }
};

QString text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString tickText(double milliseconds) {
    if (milliseconds >= 1000 && std::fmod(milliseconds, 1000) == 0)
        return QString::number(milliseconds / 1000, 'g', 6) + QStringLiteral(" s");
    return QString::number(milliseconds, 'g', 6) + QStringLiteral(" ms");
}

TLayout layoutOf(const TChartData& chart, const QFont& font) {
    TLayout layout;
    const QFontMetrics metrics(font);
    for (const std::string& group : chart.groups)
        layout.labelWidth = std::max(layout.labelWidth, metrics.horizontalAdvance(text(group)));
    layout.labelWidth = std::min(layout.labelWidth, 500);
    // Title, legend, axis labels above the plot.
    layout.top = TLayout::margin + 28 + 22 + 22;
    layout.height =
        layout.top +
        static_cast<int>(chart.groups.size()) * layout.groupHeight(chart.series.size()) +
        TLayout::margin + 6;
    return layout;
}

void paintChart(QPainter& painter, const TChartData& chart, const TLayout& layout,
                const QFont& font) {
    const TAxis axis(chart);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.fillRect(QRect(0, 0, TLayout::width, layout.height), Qt::white);
    const QFontMetrics metrics(font);

    QFont titleFont = font;
    titleFont.setBold(true);
    titleFont.setPixelSize(font.pixelSize() + 3);
    painter.setFont(titleFont);
    painter.setPen(Qt::black);
    painter.drawText(
        QRect(TLayout::margin, TLayout::margin, TLayout::width - 2 * TLayout::margin, 24),
        Qt::AlignLeft | Qt::AlignVCenter, text(chart.title));

    // Legend: a swatch and the target's name per series.
    painter.setFont(font);
    int x = TLayout::margin;
    const int legendY = TLayout::margin + 28;
    for (std::size_t s = 0; s < chart.series.size(); ++s) {
        painter.fillRect(QRect(x, legendY + 3, 14, 12), colourOf(s));
        const QString name = text(chart.series[s]);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(x + 20, legendY + 14), name);
        x += 20 + metrics.horizontalAdvance(name) + 24;
    }
    const QString scale =
        axis.logarithmic ? QStringLiteral("logarithmic scale") : QStringLiteral("linear scale");
    painter.setPen(Qt::darkGray);
    painter.drawText(QRect(x, legendY, TLayout::width - TLayout::margin - x, 18),
                     Qt::AlignRight | Qt::AlignVCenter, scale);

    // Axis: grid lines and their labels above the plot.
    const int plotLeft = layout.plotLeft();
    const int plotWidth = layout.plotRight() - plotLeft;
    const int plotTop = layout.top;
    const int plotBottom = layout.height - TLayout::margin;
    for (double tick : axis.ticks) {
        const int tx = plotLeft + static_cast<int>(std::lround(axis.position(tick) * plotWidth));
        painter.setPen(QPen(QColor(0xdd, 0xdd, 0xdd), 1));
        painter.drawLine(tx, plotTop - 4, tx, plotBottom);
        painter.setPen(Qt::darkGray);
        const QString label = tickText(tick);
        painter.drawText(QPoint(tx - metrics.horizontalAdvance(label) / 2, plotTop - 8), label);
    }
    painter.setPen(QPen(Qt::gray, 1));
    painter.drawLine(plotLeft, plotTop - 4, plotLeft, plotBottom);

    // The groups.
    int y = plotTop;
    for (std::size_t g = 0; g < chart.groups.size(); ++g) {
        const int barsHeight = static_cast<int>(chart.series.size()) * TLayout::barHeight;
        painter.setPen(Qt::black);
        // Only a label wider than the cap is shortened (elidedText alone also cuts some that
        // fit to the pixel).
        QString label = text(chart.groups[g]);
        if (metrics.horizontalAdvance(label) > layout.labelWidth)
            label = metrics.elidedText(label, Qt::ElideMiddle, layout.labelWidth);
        painter.drawText(QRect(TLayout::margin - 4, y, layout.labelWidth + 4, barsHeight),
                         Qt::AlignRight | Qt::AlignVCenter, label);
        for (std::size_t s = 0; s < chart.series.size(); ++s) {
            const int barY = y + static_cast<int>(s) * TLayout::barHeight;
            const auto& value = chart.values[g][s];
            const bool failed =
                g < chart.failed.size() && s < chart.failed[g].size() && chart.failed[g][s];
            QString valueText = failed ? QStringLiteral("failed") : QStringLiteral("not run");
            int barEnd = plotLeft;
            if (value) {
                barEnd =
                    plotLeft + static_cast<int>(std::lround(axis.position(*value) * plotWidth));
                painter.fillRect(QRect(plotLeft + 1, barY + 1, std::max(barEnd - plotLeft, 1),
                                       TLayout::barHeight - 2),
                                 colourOf(s));
                valueText = text(formatMilliseconds(*value)) + QStringLiteral(" ms");
            }
            painter.setPen(value ? Qt::black : failed ? Qt::red : Qt::gray);
            painter.drawText(
                QRect(barEnd + 5, barY, TLayout::valueRoom + plotWidth, TLayout::barHeight),
                Qt::AlignLeft | Qt::AlignVCenter, valueText);
        }
        y += layout.groupHeight(chart.series.size());
    }
}

// Qt's own chatter (a missing XDG_RUNTIME_DIR, font fallbacks) is no business of the report;
// only its critical messages get through while the chart is drawn.
void quietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "vantrel-compare: Qt: %s\n", message.toLocal8Bit().constData());
}

// Installs quietQtMessages for its lifetime.
class TQuietQt {
public:
    TQuietQt() : previous(qInstallMessageHandler(quietQtMessages)) {}
    ~TQuietQt() { qInstallMessageHandler(previous); }
    TQuietQt(const TQuietQt&) = delete;
    TQuietQt& operator=(const TQuietQt&) = delete;

private:
    QtMessageHandler previous;
};

} // namespace

std::string writeChart(const TChartData& chart, const std::filesystem::path& pngFile,
                       const std::filesystem::path& svgFile) {
    // Fonts need a QGuiApplication; a program without one gets a temporary one that needs no
    // display.
    const TQuietQt quiet;
    std::unique_ptr<QGuiApplication> application;
    if (QGuiApplication::instance() == nullptr) {
        if (std::getenv("QT_QPA_PLATFORM") == nullptr)
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "vantrel-compare";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QGuiApplication>(argc, argv);
    }
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    const TLayout layout = layoutOf(chart, font);

    QImage image(TLayout::width, layout.height, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        paintChart(painter, chart, layout, font);
    }
    // A palette image: the chart has few colours, and the file gets several times smaller.
    const QImage palette = image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    if (!palette.save(QString::fromStdString(pngFile.string()), "PNG"))
        return "cannot write " + pngFile.string();

    QSvgGenerator svg;
    svg.setFileName(QString::fromStdString(svgFile.string()));
    svg.setSize(QSize(TLayout::width, layout.height));
    svg.setViewBox(QRect(0, 0, TLayout::width, layout.height));
    // The size is written in millimetres; at the browsers' 96 dpi it is the PNG's size again.
    svg.setResolution(96);
    svg.setTitle(text(chart.title));
    QPainter painter;
    if (!painter.begin(&svg))
        return "cannot write " + svgFile.string();
    paintChart(painter, chart, layout, font);
    if (!painter.end())
        return "cannot write " + svgFile.string();
    return std::string();
}
