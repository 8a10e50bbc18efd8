// Pictures: a colour-graded eye diagram and line plots, as PNG files.
#pragma once

#include <string>
#include <vector>

#include "link/eye.h"
#include "link/result.h"

namespace amihost {

struct EyePlot {
    std::string title;
    double unitInterval = 1e-10;  // seconds
    int samplesPerBit = 32;
    double centrePhase = 0;  // phase within the UI, in samples, placed at 1 UI
};

// Pixel size of the eye's plot area (the density to collect).
constexpr int kEyePlotWidth = 680, kEyePlotHeight = 480;

// Writes a 2-UI eye from its trace density, colour-graded on a logarithmic
// scale, with labelled axes and a colour scale.
Status WriteEyeDiagram(const std::string& path, const EyeDensity& density, const EyePlot& eye);

struct LinePlot {
    std::string title, xLabel, yLabel;
    std::vector<double> x, y;
    // Points to mark (the pulse response's cursors), with their labels.
    std::vector<double> markX, markY;
    std::vector<std::string> markLabel;
};

Status WriteLinePlot(const std::string& path, const LinePlot& plot);

// A grid of two parameters, one value per cell (NaN: none), colour-graded.
struct HeatMap {
    std::string title, xName, yName;
    std::vector<std::string> xLabels, yLabels;
    std::vector<double> values;  // row-major: yLabels.size() rows of xLabels.size()
};
Status WriteHeatMap(const std::string& path, const HeatMap& map);

// Two PNG pictures side by side in one, each under its caption.
Status WriteSideBySide(const std::string& path, const std::string& left, const std::string& right);

// A statistical eye over two unit intervals: log10 BER in colour, with the
// contours of 1e-6, 1e-9 and 1e-12 in white, the best phase at 1 UI.
Status WriteStatEye(const std::string& path, const struct StatEye& eye, const std::string& title,
                    double unitInterval);

}  // namespace amihost
