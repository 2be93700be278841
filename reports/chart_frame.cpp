// The chart record's defaults, the drawing primitives, and the page frame with its axes, grids and legend box.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "reports/pdf_chart.h"

namespace reports {
namespace {

// Unicode code points of the page font's Mac Roman encoding 0x80..0xFF as PDF defines it: 0xDB is the
// currency sign, and the mathematical signs and the logo that the text fonts lack are left out (0).
constexpr char32_t kMacRomanHigh[128] = {
    0xC4,   0xC5,   0xC7,   0xC9,   0xD1,   0xD6,   0xDC,   0xE1,   0xE0,   0xE2,   0xE4,   0xE3,   0xE5,
    0xE7,   0xE9,   0xE8,   0xEA,   0xEB,   0xED,   0xEC,   0xEE,   0xEF,   0xF1,   0xF3,   0xF2,   0xF4,
    0xF6,   0xF5,   0xFA,   0xF9,   0xFB,   0xFC,   0x2020, 0xB0,   0xA2,   0xA3,   0xA7,   0x2022, 0xB6,
    0xDF,   0xAE,   0xA9,   0x2122, 0xB4,   0xA8,   0, 0xC6,   0xD8,   0, 0xB1,   0, 0,
    0xA5,   0xB5,   0, 0, 0, 0,  0, 0xAA,   0xBA,   0,  0xE6,   0xF8,   0xBF,
    0xA1,   0xAC,   0, 0x192,  0, 0, 0xAB,   0xBB,   0x2026, 0xA0,   0xC0,   0xC3,   0xD5,
    0x152,  0x153,  0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0xF7,   0, 0xFF,   0x178,  0x2044,
    0xA4, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0xB7,   0x201A, 0x201E, 0x2030, 0xC2,   0xCA,   0xC1,
    0xCB,   0xC8,   0xCD,   0xCE,   0xCF,   0xCC,   0xD3,   0xD4,   0, 0xD2,   0xDA,   0xDB,   0xD9,
    0x131,  0x2C6,  0x2DC,  0xAF,   0x2D8,  0x2D9,  0x2DA,  0xB8,   0x2DD,  0x2DB,  0x2C7};

char mac_roman(char32_t c)
{
    if (c >= 0x20 && c < 0x7F) return static_cast<char>(c);
    for (int i = 0; i < 128; ++i)
        if (kMacRomanHigh[i] != 0 && kMacRomanHigh[i] == c) return static_cast<char>(0x80 + i);
    return '?';
}

}  // namespace

std::string to_font_text(const char* utf8)
{
    std::string out;
    if (!utf8) return out;
    const auto* s = reinterpret_cast<const unsigned char*>(utf8);
    while (*s) {
        char32_t c = *s;
        int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0) {  // a stray byte: not text we can show
            out += '?';
            ++s;
            continue;
        }
        if (extra) c &= 0x3F >> extra;
        int taken = 1;
        bool valid = true;
        for (int k = 1; k <= extra; ++k) {
            if ((s[k] & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            c = (c << 6) | (s[k] & 0x3F);
            ++taken;
        }
        out += valid ? mac_roman(c) : '?';
        s += taken;
    }
    return out;
}

std::string pdf_literal(const std::string& fontText)
{
    std::string out = "(";
    for (char ch : fontText) {
        if (ch == '\\' || ch == '(' || ch == ')') out += '\\';
        out += ch;
    }
    return out + ")";
}

}  // namespace reports

namespace {

using reports::pdf_number;

// Every text line holds at most this many characters, as the page lines were always bounded.
constexpr std::size_t kMaxText = 250;
// No axis draws more than this many labels, ticks or grid lines.
constexpr double kMaxAxisSteps = 1000.0;

std::string font_text(const char* text)
{
    std::string t = reports::to_font_text(text);
    if (t.size() > kMaxText) t.resize(kMaxText);
    return t;
}

void place(const char* matrix, double x, double y, const std::string& fontText, SChart* chart)
{
    bwrite((matrix + pdf_number(x, 3) + " " + pdf_number(y, 3) + " Tm").c_str(), chart);
    bwrite((reports::pdf_literal(fontText) + " Tj").c_str(), chart);
}

std::string colour_fractions(int colour)
{
    const unsigned c = static_cast<unsigned>(colour);
    return pdf_number((c & 0xFF0000u) / 16711680.0, 3) + " " + pdf_number((c & 0x00FF00u) / 65280.0, 3) + " " +
           pdf_number((c & 0x0000FFu) / 255.0, 3);
}

void font(int size, SChart* chart) { bwrite(("/F1 " + std::to_string(size) + " Tf").c_str(), chart); }

std::string tick_text(double v, int decimals) { return pdf_number(v, std::clamp(decimals, 0, 15)); }

// A range that is empty, inverted or not finite, and a step that is not a positive finite share of it,
// are repaired so that every axis loop ends after a bounded number of steps.
void repair_axis(double* lo, double* hi, double* grid, double* label, double fallbackLo, double fallbackHi)
{
    if (!std::isfinite(*lo) || !std::isfinite(*hi)) {
        *lo = fallbackLo;
        *hi = fallbackHi;
    }
    if (*hi < *lo) std::swap(*lo, *hi);
    if (*hi - *lo <= 1e-20 * std::max(1.0, std::fabs(*lo))) {
        const double half = std::max(1.0, std::fabs(*lo) * 0.5);
        *lo -= half;
        *hi += half;
    }
    const double span = *hi - *lo;
    for (double* step : {grid, label})
        if (!std::isfinite(*step) || *step <= 0.0 || span / *step > kMaxAxisSteps) *step = span / 10.0;
}

// Calls visit(v) for v = lo, lo + step, ... while hi + 1e-10 > v.
template <typename Visit>
void axis_values(double lo, double hi, double step, Visit visit)
{
    int count = 0;
    for (double v = lo; hi + 1e-10 > v && count <= kMaxAxisSteps; v += step, ++count) visit(v);
}

}  // namespace

void schartDefault(SChart* chart)
{
    SChart fresh;
    *chart = std::move(fresh);
}

void horizontalLeftText(double x, double y, const char* text, double, SChart* chart)
{
    place("1 0 0 1 ", x, y, font_text(text), chart);
}

void horizontalCenteredText(double x, double y, const char* text, double width, SChart* chart)
{
    const std::string t = font_text(text);
    place("1 0 0 1 ", x - static_cast<double>(t.size()) * width / 2, y, t, chart);
}

void horizontalRightText(double x, double y, const char* text, double width, SChart* chart)
{
    const std::string t = font_text(text);
    place("1 0 0 1 ", x - static_cast<double>(t.size()) * width, y, t, chart);
}

void verticalText(double x, double y, const char* text, int fontSize, SChart* chart)
{
    const std::string t = font_text(text);
    place("0 1 -1 0 ", x, y - static_cast<double>(t.size()) * 0.6 * fontSize / 2, t, chart);
}

double xscale(double x, SChart* chart)
{
    return chart->plotLeft + (x - chart->xMin) * chart->plotWidth / (chart->xMax - chart->xMin);
}

double yscale(double y, SChart* chart)
{
    return chart->plotBottom + (y - chart->yMin) * chart->plotHeight / (chart->yMax - chart->yMin);
}

void moveTo(double x, double y, SChart* chart)
{
    bwrite((pdf_number(x, 2) + " " + pdf_number(y, 2) + " m").c_str(), chart);
}

void lineTo(double x, double y, SChart* chart)
{
    bwrite((pdf_number(x, 2) + " " + pdf_number(y, 2) + " l").c_str(), chart);
}

void circleAt(double x, double y, int radius, char filled, SChart* chart)
{
    const double r = radius;
    const double k = 8.0 / (3.0 * std::sqrt(2.0)) - 4.0 / 3.0;
    const double h = k * r;
    moveTo(x, y - r, chart);
    const double arcs[4][6] = {{x - h, y - r, x - r, y - h, x - r, y},
                               {x - r, y + h, x - h, y + r, x, y + r},
                               {x + h, y + r, x + r, y + h, x + r, y},
                               {x + r, y - h, x + h, y - r, x, y - r}};
    for (const auto& a : arcs) {
        std::string line;
        for (double v : a) line += pdf_number(v, 3) + " ";
        bwrite((line + "c").c_str(), chart);
    }
    bwrite(filled ? "b" : "s", chart);
}

static void mark_line(double x0, double y0, double x1, double y1, int colour, const char* dash, SChart* chart)
{
    bwrite((colour_fractions(colour) + " RG").c_str(), chart);
    bwrite(("[" + std::string(dash ? dash : "").substr(0, 64) + "] 0 d").c_str(), chart);
    moveTo(x0, y0, chart);
    lineTo(x1, y1, chart);
    bwrite("S", chart);
    bwrite("[] 0 d", chart);
}

void schartMarkX(double x, int colour, const char* dash, SChart* chart)
{
    const double px = xscale(x, chart);
    mark_line(px, chart->plotBottom, px, chart->plotBottom + chart->plotHeight, colour, dash, chart);
}

void schartMarkY(double y, int colour, const char* dash, SChart* chart)
{
    const double py = yscale(y, chart);
    mark_line(chart->plotLeft, py, chart->plotLeft + chart->plotWidth, py, colour, dash, chart);
}

int schartHistogram(const int* counts, int bins, int colour, SChart* chart)
{
    bwrite((colour_fractions(colour) + " RG").c_str(), chart);
    const double baseX = chart->plotLeft + chart->plotWidth + 10.0;
    moveTo(baseX, chart->plotBottom, chart);
    lineTo(baseX, chart->plotBottom + chart->plotHeight, chart);
    bwrite("S", chart);
    if (!counts || bins <= 0) return 1;  // no bins: the base line alone
    double max = -1.0;
    for (int i = 0; i < bins; ++i) max = std::max(max, static_cast<double>(counts[i]));
    const double binHeight = chart->plotHeight / bins;
    const double barHeight = 0.9 * binHeight;
    double y = chart->plotBottom + 0.05 * binHeight;
    for (int i = 0; i < bins; ++i) {
        if (counts[i] > 0) {
            const double length = ((chart->legendWidth + 1) * chart->legendCharWidth - 10.0) * counts[i] / max;
            bwrite((pdf_number(baseX, 2) + " " + pdf_number(y, 2) + " " + pdf_number(length, 2) + " " +
                    pdf_number(barHeight, 2) + " re")
                       .c_str(),
                   chart);
            bwrite("f", chart);
        }
        y += binHeight;
    }
    return 1;
}

// Fixes the character widths and the plot box; repairs what the axes could not draw.
void schartComputeLayout(SChart* chart)
{
    repair_axis(&chart->xMin, &chart->xMax, &chart->xGridStep, &chart->xLabelStep, 0.0, 50.0);
    repair_axis(&chart->yMin, &chart->yMax, &chart->yGridStep, &chart->yLabelStep, -1.0, 11.0);
    chart->legendWidth = std::clamp(chart->legendWidth, -1, 100);
    if (!std::isfinite(chart->lineWidth) || chart->lineWidth < 0.0 || chart->lineWidth > 99.0) chart->lineWidth = 0.5;
    chart->legendCharWidth = 0.6 * chart->legendSize;
    chart->titleCharWidth = 0.6 * chart->titleSize;
    chart->tickCharWidth = 0.6 * chart->tickSize;
    chart->labelCharWidth = 0.6 * chart->labelSize;
    std::size_t maxLen = 0;
    axis_values(chart->yMin, chart->yMax, chart->yLabelStep,
                [&](double v) { maxLen = std::max(maxLen, tick_text(v, chart->yDecimals).size()); });
    chart->plotLeft = 36 + (chart->yLabel[0] ? 1.5 * chart->labelCharWidth : 0.0) +
                      static_cast<double>(maxLen + 1) * chart->tickCharWidth;
    chart->plotBottom = 36 + (chart->xLabel[0] ? 2 * chart->labelCharWidth : 0.0) + 2 * chart->tickCharWidth + 9.6;
    chart->plotWidth = 792 - (chart->legendWidth + 1) * chart->labelCharWidth - chart->plotLeft - 36;
    chart->plotHeight = 612 - (chart->title[0] ? 1.5 * chart->titleCharWidth : 0.0) - chart->plotBottom - 36;
}

void schartDrawFrame(SChart* chart)
{
    SChart& c = *chart;
    bwrite("10 i", chart);
    bwrite("BT", chart);
    if (c.title[0]) {
        font(c.titleSize, chart);
        horizontalCenteredText(396, 576 - c.titleCharWidth, c.title, c.titleCharWidth, chart);
    }
    if (c.xLabel[0]) {
        font(c.labelSize, chart);
        horizontalCenteredText(c.plotLeft + c.plotWidth / 2, 36 + 1.5 * c.tickCharWidth, c.xLabel, c.labelCharWidth,
                               chart);
    }
    if (c.yLabel[0]) {
        font(c.labelSize, chart);
        verticalText(36 + c.labelCharWidth, c.plotBottom + c.plotHeight / 2, c.yLabel, c.labelSize, chart);
    }
    axis_values(c.xMin, c.xMax, c.xLabelStep, [&](double v) {
        font(c.tickSize, chart);
        horizontalCenteredText(xscale(v, chart), c.plotBottom - 2 * c.tickCharWidth, tick_text(v, c.xDecimals).c_str(),
                               c.tickCharWidth, chart);
    });
    axis_values(c.yMin, c.yMax, c.yLabelStep, [&](double v) {
        font(c.tickSize, chart);
        horizontalRightText(c.plotLeft - c.tickCharWidth, yscale(v, chart) - 0.5 * c.tickCharWidth,
                            tick_text(v, c.yDecimals).c_str(), c.tickCharWidth, chart);
    });
    bwrite("ET", chart);
    std::string width = pdf_number(c.lineWidth, 3);
    if (width.size() < 5) width.insert(0, 5 - width.size(), ' ');
    bwrite((width + " w").c_str(), chart);
    bwrite("0 J", chart);
    bwrite("2 j", chart);
    axis_values(c.xMin, c.xMax, c.xLabelStep, [&](double v) {
        bwrite("0.0 0.0 0.0 RG", chart);
        moveTo(xscale(v, chart), c.plotBottom, chart);
        lineTo(xscale(v, chart), c.plotBottom - 0.2 * c.tickSize, chart);
        bwrite("S", chart);
    });
    if (c.options.xGrid)
        axis_values(c.xMin, c.xMax, c.xGridStep, [&](double v) { schartMarkX(v, 0xCFCFCF, "", chart); });
    axis_values(c.yMin, c.yMax, c.yLabelStep, [&](double v) {
        bwrite("0.0 0.0 0.0 RG", chart);
        moveTo(c.plotLeft, yscale(v, chart), chart);
        lineTo(c.plotLeft - 0.2 * c.tickSize, yscale(v, chart), chart);
        bwrite("S", chart);
    });
    if (c.options.yGrid)
        axis_values(c.yMin, c.yMax, c.yGridStep, [&](double v) { schartMarkY(v, 0xCFCFCF, "", chart); });
    bwrite("0.0 0.0 0.0 RG", chart);
    bwrite((pdf_number(c.plotLeft, 3) + " " + pdf_number(c.plotBottom, 3) + " " + pdf_number(c.plotWidth, 3) + " " +
            pdf_number(c.plotHeight, 3) + " re")
               .c_str(),
           chart);
    bwrite("S", chart);
    if (c.legendWidth > 0) {
        bwrite((pdf_number(c.plotLeft + c.plotWidth, 3) + " " + pdf_number(c.plotBottom, 3) + " " +
                pdf_number((c.legendWidth + 1) * c.labelCharWidth, 3) + " " + pdf_number(c.plotHeight, 3) + " re")
                   .c_str(),
               chart);
        bwrite("S", chart);
    }
}
