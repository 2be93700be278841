// Drawing the data of a chart report: trace files and point series clipped to the plot box, legend lines, cursors.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "reports/pdf_chart.h"

namespace {

using reports::pdf_number;

std::string fractions(int colour)
{
    const unsigned c = static_cast<unsigned>(colour);
    return pdf_number((c & 0xFF0000u) / 16711680.0, 3) + " " + pdf_number((c & 0x00FF00u) / 65280.0, 3) + " " +
           pdf_number((c & 0x0000FFu) / 255.0, 3);
}

// One polyline clipped to the top and bottom of the plot box, fed point by point in page coordinates.
class ClippedLine {
public:
    ClippedLine(SChart* chart, bool xGrows) : c_(chart), xGrows_(xGrows)
    {
        bottom_ = chart->plotBottom;
        top_ = chart->plotBottom + chart->plotHeight;
    }

    void add(double x, double y)
    {
        const bool usable = have_ && std::fabs(y - py_) > SmallPdfNumber;
        if (y > top_ || y < bottom_) {
            // Leaving through one edge, or jumping across the box from beyond the other edge.
            const bool above = y > top_;
            const double edge = above ? top_ : bottom_;
            const double opposite = above ? bottom_ : top_;
            const bool fromFarSide = have_ && (above ? py_ < bottom_ : py_ > top_);
            if (down_ && usable) {
                const double cx = cross(edge, x, y);
                lineTo(cx, edge, c_);
                bwrite("S", c_);
                down_ = false;
                px_ = cx;
                py_ = edge;
            } else {
                if (fromFarSide && usable) {
                    moveTo(cross(opposite, x, y), opposite, c_);
                    lineTo(cross(edge, x, y), edge, c_);
                    bwrite("S", c_);
                }
                px_ = x;
                py_ = y;
            }
        } else if (!down_) {
            down_ = true;
            everDown_ = true;
            if (!have_) {
                moveTo(x, y, c_);
            } else {
                if (py_ > top_ && usable)
                    moveTo(cross(top_, x, y), top_, c_);
                else if (py_ < bottom_ && usable)
                    moveTo(cross(bottom_, x, y), bottom_, c_);
                else
                    moveTo(px_, py_, c_);
                lineTo(x, y, c_);
            }
            px_ = x;
            py_ = y;
        } else {
            const double dx = xGrows_ ? x - px_ : std::fabs(x - px_);
            if (dx > MinimumPdfDelta || std::fabs(y - py_) > MinimumPdfDelta) {
                lineTo(x, y, c_);
                px_ = x;
                py_ = y;
            }
        }
        have_ = true;
    }

    void end()
    {
        if (down_) bwrite("S", c_);
        down_ = false;
    }
    bool everDown() const { return everDown_; }

private:
    double cross(double edge, double x, double y) const { return px_ + (edge - py_) * (x - px_) / (y - py_); }

    SChart* c_;
    bool xGrows_;
    double bottom_ = 0, top_ = 0;
    bool down_ = false, have_ = false, everDown_ = false;
    double px_ = 0, py_ = 0;
};

// Nearest scan index, halves up, in 64 bits so long spans at high rates do not wrap.
std::int64_t nearest_index(double v)
{
    const double r = std::trunc((2.0 * v + 1.0) / 2.0);
    if (!std::isfinite(r)) return r < 0 ? INT64_MIN / 2 : INT64_MAX / 2;
    return static_cast<std::int64_t>(std::clamp(r, -4.0e18, 4.0e18));
}

std::string cut(std::string text, int width)
{
    if (width >= 0 && text.size() > static_cast<std::size_t>(width)) text.resize(static_cast<std::size_t>(width));
    return text;
}

}  // namespace

int schartBinPlot(SChartTrace* trace, unsigned colour, int dashed, SChart* chart)
{
    bwrite((fractions(static_cast<int>(colour)) + " RG").c_str(), chart);
    if (!trace->file || trace->scansPerBlock <= 0 || trace->channelsPerScan <= 0 || trace->channelPosition < 0 ||
        trace->channelPosition >= trace->channelsPerScan || !(trace->xStep > 0.0) || !std::isfinite(trace->xStep))
        return -1;
    const std::size_t samples =
        static_cast<std::size_t>(trace->scansPerBlock) * static_cast<std::size_t>(trace->channelsPerScan);
    std::vector<std::int16_t> block;
    try {
        block.resize(samples);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    std::FILE* f = trace->file;
    std::fseek(f, 0, SEEK_SET);
    char header[128];
    if (!std::fgets(header, 127, f)) return 0;

    const std::int64_t firstIndex = nearest_index(chart->xMin / trace->xStep);
    const std::int64_t lastIndex = nearest_index(chart->xMax / trace->xStep);
    std::int64_t index = nearest_index(trace->xStart / trace->xStep);
    const bool flatX = std::fabs(chart->xMax - chart->xMin) <= 1e-20;
    const bool flatY = std::fabs(chart->yMax - chart->yMin) <= 1e-20;
    auto pageX = [&](std::int64_t i) {
        const double x = trace->xStep * static_cast<double>(i);
        return flatX ? 100 + x : chart->plotLeft + (x - chart->xMin) * chart->plotWidth / (chart->xMax - chart->xMin);
    };
    auto pageY = [&](std::int16_t raw) {
        return flatY ? 100.0 + raw
                     : chart->plotBottom + (trace->yOffset + trace->yScale * raw - chart->yMin) * chart->plotHeight /
                                               (chart->yMax - chart->yMin);
    };
    if (dashed) bwrite("[3] 0 d", chart);
    ClippedLine line(chart, true);
    std::size_t got = 1;
    while (got > 0 && index <= lastIndex) {
        got = std::fread(block.data(), sizeof(std::int16_t), samples, f);
        std::fseek(f, 20, SEEK_CUR);
        for (std::size_t k = static_cast<std::size_t>(trace->channelPosition); k < got;
             k += static_cast<std::size_t>(trace->channelsPerScan)) {
            if (firstIndex < index && index < lastIndex) {
                // Stored little-endian whatever the machine.
                const auto* b = reinterpret_cast<const unsigned char*>(&block[k]);
                const auto raw = static_cast<std::int16_t>(static_cast<std::uint16_t>(b[0] | (b[1] << 8)));
                const double y = pageY(raw);
                if (std::isfinite(y)) line.add(pageX(index), y);
            }
            ++index;
        }
    }
    line.end();
    trace->xStart = trace->xStep * static_cast<double>(index);
    if (dashed) bwrite("[] 0 d", chart);
    return line.everDown() ? 1 : 0;
}

int schartPlotLineWithCircles(const double* x, const double* y, int count, int radius, int lineColour,
                              int circleColour, SChart* chart)
{
    bwrite((fractions(lineColour) + " RG").c_str(), chart);
    const bool flatX = std::fabs(chart->xMax - chart->xMin) <= 1e-20;
    const bool flatY = std::fabs(chart->yMax - chart->yMin) <= 1e-20;
    auto pageX = [&](double v) { return flatX ? 100 + v : xscale(v, chart); };
    auto pageY = [&](double v) { return flatY ? 100 + v : yscale(v, chart); };
    ClippedLine line(chart, false);
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) continue;  // a missing value draws nothing
        if (x[i] > chart->xMin - 1e-30 && x[i] < chart->xMax + 1e-30) line.add(pageX(x[i]), pageY(y[i]));
    }
    line.end();
    bwrite((fractions(circleColour) + " rg").c_str(), chart);
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) continue;
        const double px = pageX(x[i]), py = pageY(y[i]);
        if (chart->plotLeft <= px && px <= chart->plotLeft + chart->plotWidth && chart->plotBottom < py &&
            py < chart->plotBottom + chart->plotHeight)
            circleAt(px, py, radius, 1, chart);
    }
    return 0;
}

int schartLegendEntry(char* text, int line, int colour, SChart* chart)
{
    bwrite((fractions(colour) + " rg").c_str(), chart);
    bwrite("BT", chart);
    bwrite(("/F1 " + std::to_string(chart->legendSize) + " Tf").c_str(), chart);
    // The cut counts characters as the page shows them, so a multi-byte name is never split inside a character.
    const int width = std::max(chart->legendWidth, 0);
    std::size_t shown = 0, at = 0;
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    while (s[at]) {
        std::size_t next = at + 1;
        while (s[next] && (s[next] & 0xC0) == 0x80) ++next;
        if (shown == static_cast<std::size_t>(width)) {
            text[at] = '\0';
            break;
        }
        ++shown;
        at = next;
    }
    horizontalLeftText(chart->plotLeft + chart->plotWidth + 0.5 * chart->legendCharWidth,
                       chart->plotBottom + chart->plotHeight - 1.5 * line * chart->legendCharWidth, text,
                       chart->legendCharWidth, chart);
    bwrite("ET", chart);
    return 0;
}

void schartMarkCursors(SChart* chart)
{
    SChart& c = *chart;
    const int decimals = std::clamp<int>(c.cursorDecimals, 0, 15);
    const double x = c.plotLeft + c.plotWidth + 0.5 * c.legendCharWidth;
    auto readout = [&](const char* name, double value, double k) {
        std::string number = pdf_number(value, decimals);
        if (number[0] != '-') number.insert(0, "+");
        horizontalLeftText(x, c.plotBottom + k * c.legendCharWidth, cut(name + number, c.legendWidth).c_str(),
                           c.legendCharWidth, chart);
    };
    // Only a cursor inside both ranges is drawn: a line outside the box would cross the legend or the margin.
    auto inX = [&](double v) { return v > c.xMin && v <= c.xMax; };
    auto inY = [&](double v) { return v > c.yMin && v <= c.yMax; };
    auto cursor = [&](const char* colour, const char* xName, const char* yName, double cx, double cy, double kx) {
        bwrite((std::string(colour) + " rg").c_str(), chart);
        bwrite((std::string(colour) + " RG").c_str(), chart);
        bwrite("BT", chart);
        bwrite(("/F1 " + std::to_string(c.legendSize) + " Tf").c_str(), chart);
        readout(xName, cx, kx);
        readout(yName, cy, kx - 1.5);
        bwrite("ET", chart);
        if (inY(cy)) {
            if (inX(cx)) circleAt(xscale(cx, chart), yscale(cy, chart), c.cursorRadius, 0, chart);
            moveTo(c.plotLeft, yscale(cy, chart), chart);
            lineTo(c.plotLeft + c.plotWidth, yscale(cy, chart), chart);
            bwrite("S", chart);
        }
        if (inX(cx)) {
            moveTo(xscale(cx, chart), c.plotBottom, chart);
            lineTo(xscale(cx, chart), c.plotBottom + c.plotHeight, chart);
            bwrite("S", chart);
        }
    };
    if (c.options.showCursor1) cursor("0.0 0.5 0.0", "X1=", "Y1=", c.cursor1X, c.cursor1Y, 8.0);
    if (c.options.showCursor2) cursor("0.0 0.0 1.0", "X2=", "Y2=", c.cursor2X, c.cursor2Y, 5.0);
    if (c.options.showCursor1 && c.options.showCursor2) {
        bwrite("0.0 0.0 0.0 rg", chart);
        bwrite("0.0 0.0 0.0 RG", chart);
        bwrite("BT", chart);
        readout("dX=", c.cursor1X - c.cursor2X, 2.0);
        readout("dY=", c.cursor1Y - c.cursor2Y, 0.5);
        bwrite("ET", chart);
    }
}
