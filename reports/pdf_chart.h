// The one-page PDF chart writer: the chart record, the document, the frame and the drawing operations.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/sys/files.h"

// Smallest step between two written trace points, in points.
extern const double MinimumPdfDelta;
// A vertical step at most this large has no usable crossing with a box edge.
extern const double SmallPdfNumber;

// Byte offsets of the seven objects of the document being written.
extern std::int32_t obj_offset[7];

struct SChart {
    char title[64] = "Chart";
    std::int8_t titleSize = 24;
    char xLabel[32] = "";
    char yLabel[32] = "";
    std::int8_t labelSize = 14;
    double xMin = 0.0;
    double xMax = 50.0;
    double xGridStep = 1.0;
    double xLabelStep = 5.0;
    std::int8_t xDecimals = 1;
    double yMin = -1.0;
    double yMax = 11.0;
    double yGridStep = 1.0;
    double yLabelStep = 2.0;
    std::int8_t yDecimals = 1;
    std::int8_t tickSize = 10;
    std::int32_t legendWidth = 11;
    std::int8_t legendSize = 10;
    double lineWidth = 0.5;
    double cursor1X = 0.0, cursor1Y = 0.0;
    double cursor2X = 0.0, cursor2Y = 0.0;
    std::int8_t cursorDecimals = 5;
    std::int8_t cursorRadius = 5;
    struct {
        std::uint8_t showCursor1 : 1;
        std::uint8_t showCursor2 : 1;
        std::uint8_t xGrid : 1;
        std::uint8_t yGrid : 1;
        std::uint8_t unused : 3;
    } options{0, 0, 0, 0, 0};
    double plotLeft = 0.0, plotBottom = 0.0;
    double plotWidth = 0.0, plotHeight = 0.0;
    double legendCharWidth = 10.0;
    double titleCharWidth = 24.0;
    double tickCharWidth = 10.0;
    double labelCharWidth = 14.0;
    vsys::FilePtr pdfFile;
    vsys::FilePtr contentFile;

    // The writer's own bookkeeping: where the document and its temporaries
    // are, and the first failure met while writing (empty while none).
    std::string pdfPath;
    std::string tempDir;
    std::string failure;
    // The operator typed the document's name: it is opened only inside the
    // working, program and archive directories, by their directory handles.
    bool typedPath = false;
};

struct SChartTrace {
    double xStep = 0.0;
    double xStart = 0.0;
    std::int32_t scansPerBlock = 0;
    std::int32_t channelsPerScan = 0;
    std::int32_t channelPosition = 0;
    double yOffset = 0.0;
    double yScale = 1.0;
    std::FILE* file = nullptr;
};

// --- document ---
int bwrite(const char* text, SChart* chart);
// 0 when the document is started and its frame drawn; 1 when it could not be (a "PDF Error" popup said why).
int schartInitialize(SChart* chart, const char* pdfPath, const char* tempDir);
void CompressContent(SChart* chart);
// 0 when the document is complete on disk; 1 when it failed (the partial file is removed and a
// "PDF Error" popup says why).
int schartFinish(SChart* chart);

// --- record and primitives ---
void schartDefault(SChart* chart);
void horizontalLeftText(double x, double y, const char* text, double width, SChart* chart);
void horizontalCenteredText(double x, double y, const char* text, double width, SChart* chart);
void horizontalRightText(double x, double y, const char* text, double width, SChart* chart);
void verticalText(double x, double y, const char* text, int fontSize, SChart* chart);
double xscale(double x, SChart* chart);
double yscale(double y, SChart* chart);
void moveTo(double x, double y, SChart* chart);
void lineTo(double x, double y, SChart* chart);
void circleAt(double x, double y, int radius, char filled, SChart* chart);
void schartMarkX(double x, int colour, const char* dash, SChart* chart);
void schartMarkY(double y, int colour, const char* dash, SChart* chart);
int schartHistogram(const int* counts, int bins, int colour, SChart* chart);

// --- plots, legend and cursors ---
int schartBinPlot(SChartTrace* trace, unsigned colour, int dashed, SChart* chart);
int schartPlotLineWithCircles(const double* x, const double* y, int count, int radius, int lineColour,
                              int circleColour, SChart* chart);
int schartLegendEntry(char* text, int line, int colour, SChart* chart);
void schartMarkCursors(SChart* chart);

namespace reports {

// Numbers as the page writes them, whatever the locale: fixed with `decimals` places.
std::string pdf_number(double value, int decimals);
// A text as the page's font shows it: UTF-8 turned into Mac Roman, anything the font lacks as '?'.
std::string to_font_text(const char* utf8);
// The PDF literal string of a text already in the font's encoding (backslash and parentheses escaped).
std::string pdf_literal(const std::string& fontText);

}  // namespace reports
