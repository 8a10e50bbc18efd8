#include "plots.h"

#include <cairo.h>
#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "link/stat_eye.h"

namespace amihost {

namespace {

constexpr int kWidth = 900, kHeight = 600;  // plot area: kEyePlotWidth x kEyePlotHeight
constexpr double kLeft = 90, kRight = 130, kTop = 50, kBottom = 70;

struct Rgb {
    double r, g, b;
};

// Dark blue through cyan, yellow and red to white: low to high density.
Rgb Heat(double t) {
    static const Rgb stops[] = {{0.05, 0.05, 0.35}, {0.0, 0.45, 0.85}, {0.0, 0.85, 0.85},
                                {0.95, 0.9, 0.1},   {0.9, 0.2, 0.05},  {1.0, 1.0, 1.0}};
    t = std::clamp(t, 0.0, 1.0) * 5.0;
    const int i = std::min(4, static_cast<int>(t));
    const double f = t - i;
    return {stops[i].r + f * (stops[i + 1].r - stops[i].r),
            stops[i].g + f * (stops[i + 1].g - stops[i].g),
            stops[i].b + f * (stops[i + 1].b - stops[i].b)};
}

// Round tick steps: 1, 2 or 5 times a power of ten.
double NiceStep(double span, int ticks) {
    const double raw = span / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double m = raw / power;
    return (m < 1.5 ? 1 : m < 3.5 ? 2 : m < 7.5 ? 5 : 10) * power;
}

std::string Format(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", std::fabs(v) < 1e-12 ? 0.0 : v);
    return text;
}

void Text(cairo_t* cr, double x, double y, const std::string& s, double alignX, double alignY,
          double size = 13, bool rotate = false) {
    cairo_set_font_size(cr, size);
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.c_str(), &e);
    cairo_save(cr);
    cairo_translate(cr, x, y);
    if (rotate) cairo_rotate(cr, -M_PI / 2);
    cairo_move_to(cr, -e.x_bearing - alignX * e.width, -e.y_bearing - alignY * e.height);
    cairo_show_text(cr, s.c_str());
    cairo_restore(cr);
}

// A title over the whole picture: at `size` when it fits, smaller when not,
// and on two lines (split after its first ": ") when even that is too wide.
void Title(cairo_t* cr, const std::string& title, double size) {
    auto width = [&](const std::string& s, double points) {
        cairo_set_font_size(cr, points);
        cairo_text_extents_t e;
        cairo_text_extents(cr, s.c_str(), &e);
        return e.width;
    };
    const double room = kWidth - 20;
    for (double points = size; points >= 12; points -= 1)
        if (width(title, points) <= room) {
            Text(cr, kWidth / 2.0, 18, title, 0.5, 0.0, points);
            return;
        }
    const std::size_t cut = title.find(": ");
    if (cut == std::string::npos) {
        Text(cr, 10, 18, title, 0.0, 0.0, 12);
        return;
    }
    const std::string first = title.substr(0, cut + 1), second = title.substr(cut + 2);
    double points = 13;
    while (points > 9 && std::max(width(first, points), width(second, points)) > room) points -= 1;
    Text(cr, kWidth / 2.0, 6, first, 0.5, 0.0, points);
    Text(cr, kWidth / 2.0, 8 + points * 1.3, second, 0.5, 0.0, points);
}

// Frame, ticks, grid and labels of a plot area mapping [x0,x1] x [y0,y1].
void Axes(cairo_t* cr, double x0, double x1, double y0, double y1, const std::string& title,
          const std::string& xLabel, const std::string& yLabel, bool dark) {
    const double w = kWidth - kLeft - kRight, h = kHeight - kTop - kBottom;
    const double fg = dark ? 0.85 : 0.1;
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_line_width(cr, 1.0);
    const double xs = NiceStep(x1 - x0, 8), ys = NiceStep(y1 - y0, 8);
    for (double v = std::ceil(x0 / xs) * xs; v <= x1 + 1e-9 * xs; v += xs) {
        const double px = kLeft + (v - x0) / (x1 - x0) * w;
        cairo_set_source_rgba(cr, fg, fg, fg, 0.25);
        cairo_move_to(cr, px, kTop);
        cairo_line_to(cr, px, kTop + h);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        Text(cr, px, kTop + h + 8, Format(v), 0.5, 0.0, 12);
    }
    for (double v = std::ceil(y0 / ys) * ys; v <= y1 + 1e-9 * ys; v += ys) {
        const double py = kTop + h - (v - y0) / (y1 - y0) * h;
        cairo_set_source_rgba(cr, fg, fg, fg, 0.25);
        cairo_move_to(cr, kLeft, py);
        cairo_line_to(cr, kLeft + w, py);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        Text(cr, kLeft - 8, py, Format(v), 1.0, 0.5, 12);
    }
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_rectangle(cr, kLeft, kTop, w, h);
    cairo_stroke(cr);
    Title(cr, title, 16);
    Text(cr, kLeft + w / 2, kHeight - 30, xLabel, 0.5, 0.0, 14);
    Text(cr, 22, kTop + h / 2, yLabel, 0.5, 0.0, 14, true);
}

// libpng's failures end the write (reported by the caller), and nothing is
// printed by the library itself.
extern "C" void PngFailed(png_structp png, png_const_charp) { png_longjmp(png, 1); }
extern "C" void PngWarning(png_structp, png_const_charp) {}

// An RGB24 image surface as an 8-bit RGB PNG, compressed for speed (these
// pictures are mostly flat colour, which compresses well at any level).
bool WritePng(cairo_surface_t* surface, std::FILE* file, std::vector<unsigned char>& row) {
    cairo_surface_flush(surface);
    const int w = cairo_image_surface_get_width(surface);
    const int h = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    if (data == nullptr || w <= 0 || h <= 0) return false;
    row.resize(3 * static_cast<std::size_t>(w));
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngFailed, PngWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 2);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) {
        const unsigned char* line = data + static_cast<std::ptrdiff_t>(y) * stride;
        for (int x = 0; x < w; ++x) {
            std::uint32_t pixel;  // xRGB in the machine's byte order
            std::memcpy(&pixel, line + 4 * x, 4);
            row[3 * static_cast<std::size_t>(x)] = static_cast<unsigned char>(pixel >> 16);
            row[3 * static_cast<std::size_t>(x) + 1] = static_cast<unsigned char>(pixel >> 8);
            row[3 * static_cast<std::size_t>(x) + 2] = static_cast<unsigned char>(pixel);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

Status Save(cairo_surface_t* surface, const std::string& path) {
    std::vector<unsigned char> row;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        const std::string why = std::strerror(errno);
        cairo_surface_destroy(surface);
        return Error{"cannot write " + path + ": " + why};
    }
    errno = 0;
    bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS && WritePng(surface, file, row);
    int why = ok ? 0 : errno;
    if (std::fclose(file) != 0) {
        if (ok) why = errno;
        ok = false;
    }
    cairo_surface_destroy(surface);
    if (!ok) {
        std::remove(path.c_str());
        return Error{"cannot write " + path +
                     (why != 0 ? ": " + std::string(std::strerror(why)) : "")};
    }
    return {};
}

// The colour scale right of the plot area: the Heat gradient, outlined, with
// its top and bottom values and a caption below.
void ColourScale(cairo_t* cr, const std::string& top, const std::string& bottom,
                 const std::string& caption) {
    const double h = kHeight - kTop - kBottom;
    const double bx = kWidth - kRight + 25, bw = 18;
    for (int py = 0; py < static_cast<int>(h); ++py) {
        const Rgb rgb = Heat(1.0 - py / h);
        cairo_set_source_rgb(cr, rgb.r, rgb.g, rgb.b);
        cairo_rectangle(cr, bx, kTop + py, bw, 1);
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_rectangle(cr, bx, kTop, bw, h);
    cairo_stroke(cr);
    Text(cr, bx + bw + 5, kTop, top, 0.0, 0.5, 12);
    Text(cr, bx + bw + 5, kTop + h, bottom, 0.0, 0.5, 12);
    Text(cr, bx + bw / 2, kTop + h + 8, caption, 0.5, 0.0, 12);
}

// One pixel of an RGB24 image surface, at plot-area coordinates.
void PutPixel(unsigned char* data, int stride, int px, int py, const Rgb& rgb) {
    auto* pixel = reinterpret_cast<std::uint32_t*>(data + (static_cast<int>(kTop) + py) * stride) +
                  static_cast<int>(kLeft) + px;
    *pixel = (static_cast<std::uint32_t>(rgb.r * 255) << 16) |
             (static_cast<std::uint32_t>(rgb.g * 255) << 8) |
             static_cast<std::uint32_t>(rgb.b * 255);
}

}  // namespace

Status WriteEyeDiagram(const std::string& path, const EyeDensity& density, const EyePlot& eye) {
    const int N = eye.samplesPerBit;
    const int w = static_cast<int>(kWidth - kLeft - kRight),
              h = static_cast<int>(kHeight - kTop - kBottom);
    if (N <= 0 || density.width != w || density.height != h || density.hits.empty()) {
        return Error{"no eye density to draw"};
    }
    const double v0 = density.v0, v1 = density.v1;
    // Columns are positions modulo 2 UI; turn them so the centre phase sits at 1 UI.
    const int shift = static_cast<int>(std::lround((N - eye.centrePhase) / (2.0 * N) * w));
    const std::uint32_t most =
        std::max<std::uint32_t>(1, *std::max_element(density.hits.begin(), density.hits.end()));

    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.08);
    cairo_rectangle(cr, kLeft, kTop, w, h);
    cairo_fill(cr);
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const double logMost = std::log1p(static_cast<double>(most));
    for (int py = 0; py < h; ++py) {
        for (int px = 0; px < w; ++px) {
            const int column = ((px - shift) % w + w) % w;
            const std::uint32_t c = density.hits[static_cast<std::size_t>(py * w + column)];
            if (c == 0) continue;
            PutPixel(data, stride, px, py, Heat(std::log1p(static_cast<double>(c)) / logMost));
        }
    }
    cairo_surface_mark_dirty(surface);

    const double ui = eye.unitInterval * 1e12;
    Axes(cr, 0, 2 * ui, v0, v1, eye.title, "Time (ps)", "Voltage (V)", true);

    // Colour scale: hits per pixel, logarithmic.
    ColourScale(cr, std::to_string(most), "1", "hits");
    Text(cr, kWidth - kRight + 48, kTop + h / 2, "(log)", 0.0, 0.5, 11);
    cairo_destroy(cr);
    return Save(surface, path);
}

Status WriteHeatMap(const std::string& path, const HeatMap& map) {
    const std::size_t nx = map.xLabels.size(), ny = map.yLabels.size();
    if (nx == 0 || ny == 0 || map.values.size() != nx * ny) return Error{"no heat map to draw"};
    double lo = INFINITY, hi = -INFINITY;
    for (double v : map.values)
        if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
    if (!std::isfinite(lo)) return Error{"no values for the heat map"};
    if (hi == lo) hi = lo + 1;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    const double w = kWidth - kLeft - kRight, h = kHeight - kTop - kBottom;
    const double cw = w / static_cast<double>(nx), ch = h / static_cast<double>(ny);
    std::size_t best = 0;
    for (std::size_t k = 0; k < map.values.size(); ++k)
        if (std::isfinite(map.values[k]) &&
            (!std::isfinite(map.values[best]) || map.values[k] > map.values[best]))
            best = k;
    for (std::size_t y = 0; y < ny; ++y) {
        for (std::size_t x = 0; x < nx; ++x) {
            const double v = map.values[y * nx + x];
            const Rgb rgb = std::isfinite(v) ? Heat((v - lo) / (hi - lo)) : Rgb{0.8, 0.8, 0.8};
            cairo_set_source_rgb(cr, rgb.r, rgb.g, rgb.b);
            cairo_rectangle(cr, kLeft + static_cast<double>(x) * cw,
                            kTop + h - static_cast<double>(y + 1) * ch, cw + 0.5, ch + 0.5);
            cairo_fill(cr);
        }
    }
    // The best cell outlined in black and white (visible on every colour of
    // the scale, white included), the axes labelled with some of the values.
    for (const auto& [grey, width] : {std::pair<double, double>{0.0, 4.0}, {1.0, 1.5}}) {
        cairo_set_source_rgb(cr, grey, grey, grey);
        cairo_set_line_width(cr, width);
        cairo_rectangle(cr, kLeft + static_cast<double>(best % nx) * cw,
                        kTop + h - static_cast<double>(best / nx + 1) * ch, cw, ch);
        cairo_stroke(cr);
    }
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    const std::size_t xStep = std::max<std::size_t>(1, nx / 12),
                      yStep = std::max<std::size_t>(1, ny / 12);
    for (std::size_t x = 0; x < nx; x += xStep)
        Text(cr, kLeft + (static_cast<double>(x) + 0.5) * cw, kTop + h + 8, map.xLabels[x], 0.5,
             0.0, 12);
    for (std::size_t y = 0; y < ny; y += yStep)
        Text(cr, kLeft - 8, kTop + h - (static_cast<double>(y) + 0.5) * ch, map.yLabels[y], 1.0,
             0.5, 12);
    Title(cr, map.title, 15);
    Text(cr, kLeft + w / 2, kHeight - 30, map.xName, 0.5, 0.0, 14);
    cairo_save(cr);
    cairo_translate(cr, 22, kTop + h / 2);
    cairo_rotate(cr, -1.5707963267948966);
    Text(cr, 0, 0, map.yName, 0.5, 0.5, 14);
    cairo_restore(cr);
    ColourScale(cr, Format(hi), Format(lo), "");
    cairo_destroy(cr);
    return Save(surface, path);
}

Status WriteSideBySide(const std::string& path, const std::string& left, const std::string& right) {
    cairo_surface_t* a = cairo_image_surface_create_from_png(left.c_str());
    cairo_surface_t* b = cairo_image_surface_create_from_png(right.c_str());
    if (cairo_surface_status(a) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_status(b) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(a);
        cairo_surface_destroy(b);
        return Error{"cannot read " + left + " or " + right};
    }
    const int wa = cairo_image_surface_get_width(a), ha = cairo_image_surface_get_height(a);
    const int wb = cairo_image_surface_get_width(b), hb = cairo_image_surface_get_height(b);
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, wa + wb, std::max(ha, hb));
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_surface(cr, a, 0, 0);
    cairo_paint(cr);
    cairo_set_source_surface(cr, b, wa, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(a);
    cairo_surface_destroy(b);
    return Save(surface, path);
}

Status WriteStatEye(const std::string& path, const StatEye& eye, const std::string& title,
                    double unitInterval) {
    if (!eye.valid || eye.N <= 0) return Error{"no statistical eye to draw"};
    const int w = static_cast<int>(kWidth - kLeft - kRight),
              h = static_cast<int>(kHeight - kTop - kBottom);
    const int L = static_cast<int>(eye.ber.size() / static_cast<std::size_t>(eye.N));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    auto logBer = [&](int px, int py) {
        // Two unit intervals, the best phase in the middle.
        const double phase = static_cast<double>(px) / w * 2 * eye.N + eye.bestPhase - eye.N;
        const int p = ((static_cast<int>(std::floor(phase)) % eye.N) + eye.N) % eye.N;
        const int level = std::clamp(
            static_cast<int>((1.0 - static_cast<double>(py) / h) * (L - 1) + 0.5), 0, L - 1);
        const double b = eye.ber[static_cast<std::size_t>(p) * static_cast<std::size_t>(L) +
                                 static_cast<std::size_t>(level)];
        return std::log10(std::max(b, 1e-30));
    };
    std::vector<double> grid(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int py = 0; py < h; ++py)
        for (int px = 0; px < w; ++px)
            grid[static_cast<std::size_t>(py) * static_cast<std::size_t>(w) +
                 static_cast<std::size_t>(px)] = logBer(px, py);
    auto at = [&](int px, int py) {
        return grid[static_cast<std::size_t>(py) * static_cast<std::size_t>(w) +
                    static_cast<std::size_t>(px)];
    };
    for (int py = 0; py < h; ++py) {
        for (int px = 0; px < w; ++px) {
            const double lb = at(px, py);
            // Contours where a neighbour lies on the other side of a level.
            bool contour = false;
            for (double level : {-6.0, -9.0, -12.0}) {
                const double right = px + 1 < w ? at(px + 1, py) : lb;
                const double below = py + 1 < h ? at(px, py + 1) : lb;
                contour =
                    contour || (lb > level) != (right > level) || (lb > level) != (below > level);
            }
            PutPixel(data, stride, px, py,
                     contour ? Rgb{1, 1, 1} : Heat(std::clamp((lb + 18.0) / 18.0, 0.0, 1.0)));
        }
    }
    cairo_surface_mark_dirty(surface);
    Axes(cr, 0, 2 * unitInterval * 1e12, eye.v0, eye.v1, title, "Time (ps)", "Voltage (V)", true);
    ColourScale(cr, "1", "1e-18", "BER");
    cairo_destroy(cr);
    return Save(surface, path);
}

Status WriteLinePlot(const std::string& path, const LinePlot& plot) {
    if (plot.x.size() != plot.y.size() || plot.x.size() < 2)
        return Error{"not enough points for " + path};
    const auto [xlo, xhi] = std::minmax_element(plot.x.begin(), plot.x.end());
    const auto [ylo, yhi] = std::minmax_element(plot.y.begin(), plot.y.end());
    // A flat signal still gets a readable scale: at least a millivolt each way.
    const double margin = std::max(0.08 * (*yhi - *ylo), 1e-3);
    const double x0 = *xlo, x1 = *xhi, y0 = *ylo - margin, y1 = *yhi + margin;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    Axes(cr, x0, x1, y0, y1, plot.title, plot.xLabel, plot.yLabel, false);
    const double w = kWidth - kLeft - kRight, h = kHeight - kTop - kBottom;
    cairo_rectangle(cr, kLeft, kTop, w, h);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 0.05, 0.3, 0.75);
    cairo_set_line_width(cr, 1.6);
    for (std::size_t k = 0; k < plot.x.size(); ++k) {
        const double px = kLeft + (plot.x[k] - x0) / (x1 - x0) * w;
        const double py = kTop + h - (plot.y[k] - y0) / (y1 - y0) * h;
        if (k == 0)
            cairo_move_to(cr, px, py);
        else
            cairo_line_to(cr, px, py);
    }
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.85, 0.1, 0.1);
    for (std::size_t k = 0; k < plot.markX.size() && k < plot.markY.size(); ++k) {
        const double px = kLeft + (plot.markX[k] - x0) / (x1 - x0) * w;
        const double py = kTop + h - (plot.markY[k] - y0) / (y1 - y0) * h;
        cairo_arc(cr, px, py, 4.0, 0, 6.283185307179586);
        cairo_fill(cr);
        if (k < plot.markLabel.size()) Text(cr, px + 6, py - 10, plot.markLabel[k], 0.0, 0.5, 12);
    }
    cairo_destroy(cr);
    return Save(surface, path);
}

}  // namespace amihost
