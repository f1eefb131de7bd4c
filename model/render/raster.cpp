// Drawing a design straight into premultiplied ARGB32 pixels (VDLRasterRenderer.h).
//
// Every shape the renderer draws is convex: a round-capped stroke of one segment is a capsule
// (two half discs joined by a rectangle), each dash of a jump is one too, the shaded tube is a
// capsule filled with a gradient, a needle point is a square. Under a transform with the same
// scale across and along, the strokes of a stitch (outline, inner line or tube, selection) are
// stamped together from each pixel's distance to the stitch (CapsuleStamper below: exact along
// the sides, the round ends seen along the radius), sixteen, eight or four pixels at a time; strokes
// far thinner than a pixel are measured by the length of their axis in each pixel. Everything
// else (short strokes about half a pixel wide, needle points, non-uniform scales) becomes a
// polygon (the caps flattened to within 0.1 pixel, as Cairo flattens its pens) whose exact area
// in every pixel is found with a signed-area accumulation along each row. The colour is laid
// over the pixel ("over", premultiplied, 8 bits with the rounding Cairo's pixman uses), shape
// after shape in the order of the walk.
//
// Large images are cut into horizontal bands drawn by separate threads. Each band walks the
// stitch list once, keeps what reaches its rows and draws it strip by strip (strips small
// enough to stay in the cache), so the order inside a band, and the result, are those of one
// thread.
#include "VDLRasterRenderer.h"

#include "VDLDesign.h"
#include "VDLFile.h"
#include "VDLRenderWalk.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

using namespace vdlrender;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFlatteningTolerance = 0.1;  // pixels, as Cairo's default tolerance
constexpr int kMaxCapSegments = 64;           // per half disc
constexpr int kGradientSteps = 1024;

// ---- colours and compositing ----------------------------------------------------------------

double clamp01(double v) { return !(v > 0) ? 0.0 : v > 1 ? 1.0 : v; }

// Premultiplied 8-bit ARGB of a colour whose components may lie outside 0..1 (clamped, as the
// context clamps them), rounded through 16 bits the way Cairo hands colours to pixman.
uint32_t premultiplied(const VDLRGBA& c) {
    const double a = clamp01(c.a);
    auto channel = [&](double v) { return uint32_t(uint32_t(v * 65535.0 + 0.5) >> 8); };
    return channel(a) << 24 | channel(clamp01(c.r) * a) << 16 | channel(clamp01(c.g) * a) << 8 |
           channel(clamp01(c.b) * a);
}

// x * a / 255 for the four 8-bit channels of x at once, rounded.
inline uint32_t mulUn8x4(uint32_t x, uint32_t a) {
    uint32_t rb = (x & 0x00ff00ffu) * a + 0x00800080u;
    rb = ((rb + ((rb >> 8) & 0x00ff00ffu)) >> 8) & 0x00ff00ffu;
    uint32_t ag = ((x >> 8) & 0x00ff00ffu) * a + 0x00800080u;
    ag = (ag + ((ag >> 8) & 0x00ff00ffu)) & 0xff00ff00u;
    return rb | ag;
}

// SRC (premultiplied) with coverage M over DST.
inline uint32_t over(uint32_t src, uint32_t m, uint32_t dst) {
    if (m != 255) src = mulUn8x4(src, m);
    return src + mulUn8x4(dst, 255u - (src >> 24));
}

#ifdef __SSE2__
// src x m / 255 for eight 16-bit channels (two pixels), rounded like mulUn8x4.
inline __m128i mulUn8x8(__m128i a, __m128i b) {
    __m128i t = _mm_add_epi16(_mm_mullo_epi16(a, b), _mm_set1_epi16(0x80));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}

// Two pixels of a colour (16-bit channels) with coverages (each repeated over four lanes) over
// two destination pixels (16-bit channels).
inline __m128i overTwo(__m128i src, __m128i m, __m128i dst) {
    const __m128i s = mulUn8x8(src, m);
    __m128i a = _mm_shufflelo_epi16(s, _MM_SHUFFLE(3, 3, 3, 3));
    a = _mm_shufflehi_epi16(a, _MM_SHUFFLE(3, 3, 3, 3));
    const __m128i keep = _mm_sub_epi16(_mm_set1_epi16(255), a);
    return _mm_add_epi16(s, mulUn8x8(dst, keep));
}
#endif

// One flat colour.
struct Solid {
    uint32_t color;
    void pixel(uint32_t* row, int y, int x, uint32_t m) const {
        (void)y;
        row[x] = m == 255 && (color >> 24) == 255 ? color : over(color, m, row[x]);
    }
    // Pixels x .. x + n - 1 with coverages COVER.
    void run(uint32_t* row, int y, int x, const uint8_t* cover, int n) const {
        (void)y;
        uint32_t* p = row + x;
        int i = 0;
#ifdef __SSE2__
        const __m128i zero = _mm_setzero_si128();
        const __m128i src = _mm_unpacklo_epi8(_mm_set1_epi32(int(color)), zero);
        const bool opaque = (color >> 24) == 255;
        const __m128i solid4 = _mm_set1_epi32(int(color));
        for (; i + 4 <= n; i += 4) {
            uint32_t m4;
            std::memcpy(&m4, cover + i, 4);
            if (m4 == 0) continue;
            if (m4 == 0xffffffffu && opaque) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), solid4);
                continue;
            }
            __m128i m = _mm_cvtsi32_si128(int(m4));
            m = _mm_unpacklo_epi8(m, m);
            m = _mm_unpacklo_epi16(m, m);
            const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i lo = overTwo(src, _mm_unpacklo_epi8(m, zero), _mm_unpacklo_epi8(d, zero));
            const __m128i hi = overTwo(src, _mm_unpackhi_epi8(m, zero), _mm_unpackhi_epi8(d, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), _mm_packus_epi16(lo, hi));
        }
#endif
        for (; i < n; ++i)
            if (cover[i]) p[i] = over(color, cover[i], p[i]);
    }
    void span(uint32_t* row, int y, int x, int n, uint32_t m) const {
        (void)y;
        uint32_t* p = row + x;
        if (m == 255 && (color >> 24) == 255) {
            std::fill_n(p, n, color);
            return;
        }
        const uint32_t src = m == 255 ? color : mulUn8x4(color, m);
        const uint32_t keep = 255u - (src >> 24);
        for (int i = 0; i < n; ++i) p[i] = src + mulUn8x4(p[i], keep);
    }
};

// A linear gradient sampled at pixel centres: t = a x + b y + c in pixels, no extension.
struct Gradient {
    const uint32_t* table;  // kGradientSteps + 1 premultiplied colours over t = 0..1
    double a, b, c;
    void pixel(uint32_t* row, int y, int x, uint32_t m) const { span(row, y, x, 1, m); }
    // t at the centre of pixel X of the row whose own term is BY = b (y + 0.5), worked out the
    // same way by every path (the eight-pixel one too), so that they pick the same colours.
    double at(int x, double by) const { return a * (double(x) + 0.5) + by + c; }
    void run(uint32_t* row, int y, int x, const uint8_t* cover, int n) const {
        const double by = b * (double(y) + 0.5);
        for (int i = 0; i < n; ++i) {
            const double t = at(x + i, by);
            if (!cover[i] || !(t >= 0.0 && t <= 1.0)) continue;
            row[x + i] = over(table[int(t * kGradientSteps + 0.5)], cover[i], row[x + i]);
        }
    }
    void span(uint32_t* row, int y, int x, int n, uint32_t m) const {
        const double by = b * (double(y) + 0.5);
        for (int i = 0; i < n; ++i) {
            const double t = at(x + i, by);
            if (!(t >= 0.0 && t <= 1.0)) continue;
            row[x + i] = over(table[int(t * kGradientSteps + 0.5)], m, row[x + i]);
        }
    }
};

void buildGradientTable(const std::vector<VDLGradientStop>& stops, uint32_t* table) {
    for (int i = 0; i <= kGradientSteps; ++i) {
        const double t = double(i) / kGradientSteps;
        VDLRGBA c = stops.front().color;
        if (t >= stops.back().location) {
            c = stops.back().color;
        } else {
            for (size_t k = 1; k < stops.size(); ++k) {
                if (t > stops[k].location) continue;
                const VDLGradientStop& s0 = stops[k - 1];
                const VDLGradientStop& s1 = stops[k];
                const double span = s1.location - s0.location;
                const double f = span > 0 ? (t - s0.location) / span : 0.0;
                auto mix = [&](double u, double v) { return clamp01(u) + (clamp01(v) - clamp01(u)) * f; };
                c = VDLRGBA{mix(s0.color.r, s1.color.r), mix(s0.color.g, s1.color.g), mix(s0.color.b, s1.color.b),
                            mix(s0.color.a, s1.color.a)};
                break;
            }
        }
        table[i] = premultiplied(c);
    }
}

// ---- coverage of convex polygons ----------------------------------------------------------------

struct Edge {
    float x0, y0, y1, dxdy, dir;  // y0 < y1; x at y0; +1 downward, -1 upward
};

// Fills convex polygons into the rows [top, bottom) of one image.
class Rasterizer {
public:
    Rasterizer(const VDLImageBuffer& image, int top, int bottom)
        : image_(image), top_(top), bottom_(bottom), width_(image.width),
          acc_(size_t(image.width) + 3, 0.0f), cover_(size_t(image.width) + 3, 0) {}

    // The rows drawn from now on.
    void setRows(int top, int bottom) {
        top_ = top;
        bottom_ = bottom;
    }
    int top() const { return top_; }
    int bottom() const { return bottom_; }
    int width() const { return width_; }
    int imageHeight() const { return image_.height; }
    uint32_t* row(int y) const { return reinterpret_cast<uint32_t*>(image_.data + size_t(y) * size_t(image_.stride)); }

    // The polygon X/Y (pixels, N vertices, convex, either orientation).
    template <class Shade>
    void fill(const double* x, const double* y, int n, const Shade& shade) {
        if (n < 3) return;
        double minX = x[0], maxX = x[0], minY = y[0], maxY = y[0];
        for (int i = 1; i < n; ++i) {
            minX = std::min(minX, x[i]);
            maxX = std::max(maxX, x[i]);
            minY = std::min(minY, y[i]);
            maxY = std::max(maxY, y[i]);
        }
        if (!(minX < double(width_) && maxX > 0.0 && minY < double(bottom_) && maxY > double(top_))) return;
        if (!std::isfinite(minX) || !std::isfinite(maxX) || !std::isfinite(minY) || !std::isfinite(maxY)) return;

        // A shape inside one pixel (a stitch of a small thumbnail) covers it by its own area.
        const double cellX = std::floor(minX), cellY = std::floor(minY);
        if (maxX <= cellX + 1.0 && maxY <= cellY + 1.0 && cellX >= 0.0 && cellY >= double(top_) &&
            cellY < double(bottom_) && cellX < double(width_)) {
            // Relative to the cell, so that the coordinates' size loses nothing.
            double area = 0.0;
            for (int i = 0; i < n; ++i) {
                const int j = i + 1 == n ? 0 : i + 1;
                area += (x[i] - cellX) * (y[j] - cellY) - (x[j] - cellX) * (y[i] - cellY);
            }
            const uint32_t m = coverage(float(std::fabs(area) * 0.5));
            if (m) {
                auto* row = reinterpret_cast<uint32_t*>(image_.data + size_t(cellY) * size_t(image_.stride));
                shade.pixel(row, int(cellY), int(cellX), m);
            }
            return;
        }

        edges_.clear();
        for (int i = 0; i < n; ++i) {
            const int j = i + 1 == n ? 0 : i + 1;
            addEdge(x[i], y[i], x[j], y[j]);
        }
        if (edges_.empty()) return;

        const int rowBegin = std::max(top_, int(std::floor(std::max(minY, double(top_)))));
        const int rowEnd = std::min(bottom_, int(std::ceil(std::min(maxY, double(bottom_)))));
        const float w = float(width_);
        // Edges in order of their tops; each row visits only the edges that reach it.
        for (size_t i = 1; i < edges_.size(); ++i)
            for (size_t j = i; j > 0 && edges_[j].y0 < edges_[j - 1].y0; --j) std::swap(edges_[j], edges_[j - 1]);
        active_.clear();
        size_t next = 0;
        for (int r = rowBegin; r < rowEnd; ++r) {
            const float ry = float(r), ry1 = float(r + 1);
            while (next < edges_.size() && edges_[next].y0 < ry1) active_.push_back(uint32_t(next++));
            touched_.clear();
            size_t kept = 0;
            for (size_t k = 0; k < active_.size(); ++k) {
                const Edge& e = edges_[active_[k]];
                if (e.y1 <= ry) continue;
                active_[kept++] = active_[k];
                const float ya = std::max(ry, e.y0), yb = std::min(ry1, e.y1);
                const float xa = std::clamp(e.x0 + (ya - e.y0) * e.dxdy, 0.0f, w);
                const float xb = std::clamp(e.x0 + (yb - e.y0) * e.dxdy, 0.0f, w);
                accumulate(xa, xb, (yb - ya) * e.dir);
            }
            active_.resize(kept);
            if (touched_.empty()) continue;
            // The cells written, in order and merged: between them the coverage stays the
            // same, so whole spans are painted at once.
            for (size_t i = 1; i < touched_.size(); ++i)
                for (size_t j = i; j > 0 && touched_[j].first < touched_[j - 1].first; --j)
                    std::swap(touched_[j], touched_[j - 1]);
            auto* row = reinterpret_cast<uint32_t*>(image_.data + size_t(r) * size_t(image_.stride));
            float sum = 0.0f;
            int pos = touched_.front().first;
            size_t k = 0;
            while (k < touched_.size()) {
                const int a = touched_[k].first;
                int b = touched_[k].second;
                for (++k; k < touched_.size() && touched_[k].first <= b + 1; ++k) b = std::max(b, touched_[k].second);
                if (pos < a && a <= width_) {
                    const uint32_t m = coverage(sum);
                    if (m) shade.span(row, r, pos, std::min(a, width_) - pos, m);
                }
                for (int c = a; c <= b; ++c) {
                    sum += acc_[size_t(c)];
                    acc_[size_t(c)] = 0.0f;
                    cover_[size_t(c - a)] = uint8_t(coverage(sum));
                }
                const int end = std::min(b, width_ - 1);
                if (end >= a) shade.run(row, r, a, cover_.data(), end - a + 1);
                pos = b + 1;
            }
            // A shape cut by the right border covers the rest of the row evenly; any other
            // shape has returned to zero here.
            if (pos < width_) {
                const uint32_t m = coverage(sum);
                if (m) shade.span(row, r, pos, width_ - pos, m);
            }
        }
    }

private:
    // One polygon edge, cut to the band's rows; the parts left of the image become vertical
    // edges on its left border (they cover every pixel to their right, as the original did),
    // the parts right of it are dropped (they cover nothing inside).
    void addEdge(double x0, double y0, double x1, double y1) {
        if (y0 == y1) return;
        float dir = 1.0f;
        if (y0 > y1) {
            std::swap(x0, x1);
            std::swap(y0, y1);
            dir = -1.0f;
        }
        const double top = top_, bottom = bottom_;
        if (y1 <= top || y0 >= bottom) return;
        const double dxdy = (x1 - x0) / (y1 - y0);
        auto xAt = [&](double yy) { return x0 + (yy - y0) * dxdy; };
        double ys[4];
        int k = 0;
        ys[k++] = std::max(y0, top);
        const double yEnd = std::min(y1, bottom);
        // Where it crosses the image's left and right borders (an edge a pixel or more inside
        // them crosses neither within its own rows).
        const bool inside = std::min(x0, x1) >= 1.0 && std::max(x0, x1) <= double(width_) - 1.0;
        if (!inside && dxdy != 0.0 && std::isfinite(dxdy)) {
            const double a = y0 + (0.0 - x0) / dxdy;
            const double b = y0 + (double(width_) - x0) / dxdy;
            if (a > ys[0] && a < yEnd) ys[k++] = a;
            if (b > ys[0] && b < yEnd) ys[k++] = b;
            if (k == 3 && ys[1] > ys[2]) std::swap(ys[1], ys[2]);
        }
        ys[k++] = yEnd;
        const double w = width_;
        for (int i = 0; i + 1 < k; ++i) {
            const double ya = ys[i], yb = ys[i + 1];
            if (!(yb > ya)) continue;
            const double xm = xAt(0.5 * (ya + yb));
            if (!(xm < w)) continue;
            double xa, xb;
            if (xm <= 0.0) {
                xa = xb = 0.0;
            } else {
                xa = std::clamp(xAt(ya), 0.0, w);
                xb = std::clamp(xAt(yb), 0.0, w);
            }
            const float fy0 = float(ya), fy1 = float(yb);
            if (!(fy1 > fy0)) continue;
            edges_.push_back(Edge{float(xa), fy0, fy1, float((xb - xa) / (yb - ya)), dir});
        }
    }

    // Adds the area and cover of the edge piece from X (top of the piece) to XNEXT (bottom),
    // D its signed height, to the cells of the current row.
    static uint32_t coverage(float sum) { return uint32_t(std::min(std::fabs(sum), 1.0f) * 255.0f + 0.5f); }

    void accumulate(float x, float xnext, float d) {
        const float x0 = std::min(x, xnext), x1 = std::max(x, xnext);
        const float x0floor = std::floor(x0);
        const int x0i = int(x0floor);
        const float x1ceil = std::ceil(x1);
        const int x1i = int(x1ceil);
        float* a = acc_.data();
        if (x1i <= x0i + 1) {
            const float xmf = 0.5f * (x + xnext) - x0floor;
            a[x0i] += d - d * xmf;
            a[x0i + 1] += d * xmf;
            touched_.emplace_back(x0i, x0i + 1);
        } else {
            const float s = 1.0f / (x1 - x0);
            const float x0f = x0 - x0floor;
            const float a0 = 0.5f * s * (1.0f - x0f) * (1.0f - x0f);
            const float x1f = x1 - x1ceil + 1.0f;
            const float am = 0.5f * s * x1f * x1f;
            a[x0i] += d * a0;
            if (x1i == x0i + 2) {
                a[x0i + 1] += d * (1.0f - a0 - am);
            } else {
                const float a1 = s * (1.5f - x0f);
                a[x0i + 1] += d * (a1 - a0);
                for (int xi = x0i + 2; xi < x1i - 1; ++xi) a[xi] += d * s;
                const float a2 = a1 + float(x1i - x0i - 3) * s;
                a[x1i - 1] += d * (1.0f - a2 - am);
            }
            a[x1i] += d * am;
            touched_.emplace_back(x0i, x1i);
        }
    }

    VDLImageBuffer image_;
    int top_, bottom_, width_;
    std::vector<float> acc_;
    std::vector<uint8_t> cover_;
    std::vector<std::pair<int, int>> touched_;  // cells written in this row, first and last
    std::vector<uint32_t> active_;              // edges that reach the current row
    std::vector<Edge> edges_;
};

// ---- capsules by their distance to the pixels --------------------------------------------------
//
// A stitch is drawn as up to three round-capped strokes along the same segment (the dark outline,
// the inner line or the shaded tube, the selection). Their coverage of a pixel is found from the
// pixel's position relative to the segment, all strokes of a stitch in one pass over its pixels:
//
// - A straight edge with unit normal n covers a pixel (a unit square) by F(u), u the signed
//   distance of the pixel's centre inside the edge: the square projected on n spreads evenly
//   over a trapezoid, and F, its integral, is piecewise quadratic. That is exact along the sides.
// - Round ends are seen the same way along the radius through the pixel, the edge moved out by
//   the disc's mean bend across a pixel (1 / 24 r).
// - A stroke narrower than about a pixel is a band times its length: the coverage across (F at
//   both sides) times the coverage along, the ends lengthened by pi r / 4 so that a round end's
//   area is kept.
// - A stroke inside one pixel covers it by its area.
// Measured against the exact area over random strokes, the difference is well under 1 % of the
// covered area from 1.75 pixels wide up, and a few percent at the thinnest widths.

// The spread of a unit square seen along a direction with |components| p >= q: F(u) =
// 1/2 + sign(u) G(|u|), G rising as u / p up to k = (p - q) / 2, then bending over the last q.
struct Profile {
    float k, q, halfInvQ, invP, reach;  // reach: half the width of the spread
    static Profile along(float a, float b) {
        const float p = std::max(a, b);
        const float q = std::max(std::min(a, b), 1e-6f);
        return Profile{0.5f * (p - q), q, 0.5f / q, 1.0f / p, 0.5f * (p + q)};
    }
    float F(float u) const {
        const float v = std::fabs(u);
        const float t = std::clamp(v - k, 0.0f, q);
        const float g = (std::min(v, k) + t - t * t * halfInvQ) * invP;
        return u < 0 ? 0.5f - g : 0.5f + g;
    }
};

// Segments of a half disc of RADIUS pixels flattened to within the tolerance, as the polygons
// (and Cairo's pens) flatten it.
int capSegmentsFor(double radius) {
    if (!(radius > kFlatteningTolerance)) return 2;
    const double step = 2.0 * std::acos(1.0 - kFlatteningTolerance / radius);
    return int(std::clamp(std::ceil(kPi / step), 2.0, double(kMaxCapSegments)));
}

// The area of such a flattened half disc: a stroke far thinner than a pixel has ends of this
// size in the reference drawing, not of a true half disc.
double flattenedCapArea(double radius) {
    const int n = capSegmentsFor(radius);
    return 0.5 * n * radius * radius * std::sin(kPi / n);
}

constexpr float kThinStroke = 0.7072f;  // radius (pixels) below which a stroke is a band
constexpr double kShortStroke = 4.0;    // pixels; thin strokes shorter than this are polygons ...
constexpr float kTinyStroke = 0.08f;    // ... or, below this radius, lengths of their axis

// One stroke of a stitch: its radius in pixels and what it is filled with.
struct StrokeLayer {
    float radius = 0;
    bool gradient = false;
    Solid solid{0};
    Gradient shade{};
};

// Which pixels of each row a stitch's strokes can reach. The widest stroke lies inside the band
// |s| <= rMax across the segment and the slab -rMax <= tau <= L + rMax along it; a pixel
// reaches as far as its half width seen along the segment or across it (both the same), so
// only pixels whose centres lie within SPREAD of them can be touched. On each row both give an
// interval of x.
struct RowSpan {
    double px, py, dx, reach, spread, ux, uy, L, invUx, invUy;
    bool alongX, alongY;  // the direction has a part along x (and y) to divide by
    int width;

    RowSpan(double px_, double py_, double dx_, double reach_, double rMax, const Profile& body, float ux_,
            float uy_, float L_, int width_)
        : px(px_), py(py_), dx(dx_), reach(reach_), spread(rMax + double(body.reach) + 1e-3), ux(ux_), uy(uy_),
          L(L_), invUx(0), invUy(0), alongX(std::fabs(double(ux_)) > 1e-9), alongY(std::fabs(double(uy_)) > 1e-9),
          width(width_) {
        if (alongX) invUx = 1.0 / ux;
        if (alongY) invUy = 1.0 / uy;
    }

    // Columns [x0, x1) of row Y; false when the row is not reached.
    __attribute__((always_inline)) inline bool columns(int y, int& x0, int& x1) const {
        const double cy = double(y) + 0.5 - py;
        double lo = -reach - 1.0 + std::min(0.0, dx), hi = reach + 1.0 + std::max(0.0, dx);  // cx range
        if (alongY) {  // s = cy ux - cx uy
            double a = (cy * ux - spread) * invUy, b = (cy * ux + spread) * invUy;
            if (a > b) std::swap(a, b);
            lo = std::max(lo, a);
            hi = std::min(hi, b);
        } else if (!(std::fabs(cy * ux) < spread)) {
            return false;
        }
        if (alongX) {  // tau = cx ux + cy uy
            double a = (-spread - cy * uy) * invUx, b = (L + spread - cy * uy) * invUx;
            if (a > b) std::swap(a, b);
            lo = std::max(lo, a);
            hi = std::min(hi, b);
        } else if (!(cy * uy > -spread && cy * uy < L + spread)) {
            return false;
        }
        if (!(lo < hi)) return false;
        x0 = std::max(0, int(std::floor(lo + px - 0.5)));
        x1 = std::min(width, int(std::ceil(hi + px + 0.5)));
        return x1 > x0;
    }
};

#if defined(__x86_64__) && defined(__GNUC__)
#define VARDELLE_HAVE_VECTOR_ROWS 1
// GCC 12's AVX-512 headers start some results from an undefined value, and it warns there.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#ifndef __clang__
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

// CapsuleStamper's rows four pixels at a time (SSE2), eight (AVX2) or sixteen (AVX-512), every
// stroke blended as its coverage is found (the tube's colours looked up in its gradient). The
// widest the processor has is chosen at run time; the wider code is compiled for those
// processors only here. The kernel is written once (stamp_kernel.inc) over the operations below.

// The entries of the gradient's table for values of t (as int(t * steps + 0.5); those outside
// 0..1 are not used, only kept inside the table).
#define VDL_GRADIENT_INDEX(pd, cvt)                                                                  \
    cvt(pd##_min_pd(pd##_max_pd(pd##_add_pd(pd##_mul_pd(t, pd##_set1_pd(double(kGradientSteps))), \
                                            pd##_set1_pd(0.5)),                                    \
                                pd##_setzero_pd()),                                                \
                    pd##_set1_pd(double(kGradientSteps))))

namespace sse {

// Every x86-64 processor has SSE2: no target attribute needed.
#define VDL_KERNEL
#define VDL_OP __attribute__((always_inline)) static inline

struct V {
    using F = __m128;
    using I = __m128i;
    using M = __m128;  // all bits set in the lanes that hold
    static constexpr int lanes = 4;

    VDL_OP F set(float v) { return _mm_set1_ps(v); }
    VDL_OP F zero() { return _mm_setzero_ps(); }
    VDL_OP F steps() { return _mm_setr_ps(0.5f, 1.5f, 2.5f, 3.5f); }
    VDL_OP F add(F a, F b) { return _mm_add_ps(a, b); }
    VDL_OP F sub(F a, F b) { return _mm_sub_ps(a, b); }
    VDL_OP F mul(F a, F b) { return _mm_mul_ps(a, b); }
    VDL_OP F min(F a, F b) { return _mm_min_ps(a, b); }
    VDL_OP F max(F a, F b) { return _mm_max_ps(a, b); }
    VDL_OP F abs(F v) { return _mm_andnot_ps(_mm_set1_ps(-0.0f), v); }
    VDL_OP F signOf(F v) { return _mm_and_ps(_mm_set1_ps(-0.0f), v); }
    VDL_OP F orBits(F a, F b) { return _mm_or_ps(a, b); }
    VDL_OP F rsqrtEstimate(F v) { return _mm_rsqrt_ps(v); }
    VDL_OP F rcpEstimate(F v) { return _mm_rcp_ps(v); }
    VDL_OP M ge(F a, F b) { return _mm_cmpge_ps(a, b); }
    VDL_OP M le(F a, F b) { return _mm_cmple_ps(a, b); }
    VDL_OP M lt(F a, F b) { return _mm_cmplt_ps(a, b); }
    VDL_OP M gt(F a, F b) { return _mm_cmpgt_ps(a, b); }
    VDL_OP M both(M a, M b) { return _mm_and_ps(a, b); }
    VDL_OP M butNot(M a, M b) { return _mm_andnot_ps(a, b); }  // b and not a
    VDL_OP M noLanes() { return _mm_setzero_ps(); }
    VDL_OP bool all(M m) { return _mm_movemask_ps(m) == 0xF; }
    VDL_OP F select(M m, F a, F b) { return _mm_or_ps(_mm_and_ps(m, a), _mm_andnot_ps(m, b)); }
    VDL_OP F keep(M m, F v) { return _mm_and_ps(m, v); }

    VDL_OP I zeroI() { return _mm_setzero_si128(); }
    VDL_OP I setI(int v) { return _mm_set1_epi32(v); }
    VDL_OP I set16(short v) { return _mm_set1_epi16(v); }
    VDL_OP I truncate(F v) { return _mm_cvttps_epi32(v); }
    VDL_OP bool none(I m) { return _mm_movemask_epi8(_mm_cmpeq_epi32(m, _mm_setzero_si128())) == 0xFFFF; }
    VDL_OP bool all255(I m) { return _mm_movemask_epi8(_mm_cmpeq_epi32(m, _mm_set1_epi32(255))) == 0xFFFF; }
    VDL_OP bool allOpaque(I p) { return all255(_mm_srli_epi32(p, 24)); }
    VDL_OP I unpackLo8(I v) { return _mm_unpacklo_epi8(v, _mm_setzero_si128()); }
    VDL_OP I unpackHi8(I v) { return _mm_unpackhi_epi8(v, _mm_setzero_si128()); }
    VDL_OP I packus16(I a, I b) { return _mm_packus_epi16(a, b); }
    VDL_OP I min16(I a, I b) { return _mm_min_epi16(a, b); }
    VDL_OP I add16(I a, I b) { return _mm_add_epi16(a, b); }
    VDL_OP I sub16(I a, I b) { return _mm_sub_epi16(a, b); }
    VDL_OP I mullo16(I a, I b) { return _mm_mullo_epi16(a, b); }
    VDL_OP I srli16_8(I a) { return _mm_srli_epi16(a, 8); }
    VDL_OP I alphaSpread(I s) {
        return _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
    }
    // Without a byte shuffle: the coverages narrowed to 16 bits, then each repeated.
    VDL_OP I spread(I m, bool high) {
        __m128i m16 = _mm_packs_epi32(m, m);
        m16 = _mm_unpacklo_epi16(m16, m16);
        return high ? _mm_unpackhi_epi32(m16, m16) : _mm_unpacklo_epi32(m16, m16);
    }
    VDL_OP I load(const uint32_t* p, int count) {
        if (count == lanes) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        alignas(16) uint32_t tail[lanes] = {};
        std::memcpy(tail, p, size_t(count) * 4);
        return _mm_load_si128(reinterpret_cast<const __m128i*>(tail));
    }
    VDL_OP void store(uint32_t* p, I v, int count) {
        if (count == lanes) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
            return;
        }
        alignas(16) uint32_t tail[lanes];
        _mm_store_si128(reinterpret_cast<__m128i*>(tail), v);
        std::memcpy(p, tail, size_t(count) * 4);
    }
    VDL_OP __m128i gradientIndex(__m128d t) { return VDL_GRADIENT_INDEX(_mm, _mm_cvttpd_epi32); }
    // No gather: the four colours are looked up one by one.
    VDL_OP bool gradient(const Gradient& g, int x, int y, I& m, I& source) {
        const __m128i laneBits = _mm_setr_epi32(1, 2, 4, 8);
        const double by = g.b * (double(y) + 0.5);
        const __m128d va = _mm_set1_pd(g.a), vby = _mm_set1_pd(by), vc = _mm_set1_pd(g.c);
        const __m128d x0d = _mm_add_pd(_mm_set1_pd(double(x)), _mm_setr_pd(0.5, 1.5));
        const __m128d x1d = _mm_add_pd(_mm_set1_pd(double(x)), _mm_setr_pd(2.5, 3.5));
        const __m128d t0 = _mm_add_pd(_mm_add_pd(_mm_mul_pd(va, x0d), vby), vc);
        const __m128d t1 = _mm_add_pd(_mm_add_pd(_mm_mul_pd(va, x1d), vby), vc);
        const __m128d lo = _mm_setzero_pd(), hi = _mm_set1_pd(1.0);
        const int in0 = _mm_movemask_pd(_mm_and_pd(_mm_cmpge_pd(t0, lo), _mm_cmple_pd(t0, hi)));
        const int in1 = _mm_movemask_pd(_mm_and_pd(_mm_cmpge_pd(t1, lo), _mm_cmple_pd(t1, hi)));
        const __m128i valid = _mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(in0 | in1 << 2), laneBits), laneBits);
        m = _mm_and_si128(m, valid);
        if (none(m)) return false;
        alignas(16) int32_t idx[lanes];
        _mm_store_si128(reinterpret_cast<__m128i*>(idx), _mm_unpacklo_epi64(gradientIndex(t0), gradientIndex(t1)));
        source = _mm_setr_epi32(int(g.table[idx[0]]), int(g.table[idx[1]]), int(g.table[idx[2]]), int(g.table[idx[3]]));
        return true;
    }
};

#include "stamp_kernel.inc"

#undef VDL_OP
#undef VDL_KERNEL

}  // namespace sse

namespace avx2 {

#define VDL_KERNEL __attribute__((target("avx2")))
#define VDL_OP __attribute__((target("avx2"), always_inline)) static inline

struct V {
    using F = __m256;
    using I = __m256i;
    using M = __m256;  // all bits set in the lanes that hold
    static constexpr int lanes = 8;

    VDL_OP F set(float v) { return _mm256_set1_ps(v); }
    VDL_OP F zero() { return _mm256_setzero_ps(); }
    VDL_OP F steps() { return _mm256_setr_ps(0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f); }
    VDL_OP F add(F a, F b) { return _mm256_add_ps(a, b); }
    VDL_OP F sub(F a, F b) { return _mm256_sub_ps(a, b); }
    VDL_OP F mul(F a, F b) { return _mm256_mul_ps(a, b); }
    VDL_OP F min(F a, F b) { return _mm256_min_ps(a, b); }
    VDL_OP F max(F a, F b) { return _mm256_max_ps(a, b); }
    VDL_OP F abs(F v) { return _mm256_andnot_ps(_mm256_set1_ps(-0.0f), v); }
    VDL_OP F signOf(F v) { return _mm256_and_ps(_mm256_set1_ps(-0.0f), v); }
    VDL_OP F orBits(F a, F b) { return _mm256_or_ps(a, b); }
    VDL_OP F rsqrtEstimate(F v) { return _mm256_rsqrt_ps(v); }
    VDL_OP F rcpEstimate(F v) { return _mm256_rcp_ps(v); }
    VDL_OP M ge(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
    VDL_OP M le(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
    VDL_OP M lt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    VDL_OP M gt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    VDL_OP M both(M a, M b) { return _mm256_and_ps(a, b); }
    VDL_OP M butNot(M a, M b) { return _mm256_andnot_ps(a, b); }  // b and not a
    VDL_OP M noLanes() { return _mm256_setzero_ps(); }
    VDL_OP bool all(M m) { return _mm256_movemask_ps(m) == 0xFF; }
    VDL_OP F select(M m, F a, F b) { return _mm256_blendv_ps(b, a, m); }
    VDL_OP F keep(M m, F v) { return _mm256_and_ps(m, v); }

    VDL_OP I zeroI() { return _mm256_setzero_si256(); }
    VDL_OP I setI(int v) { return _mm256_set1_epi32(v); }
    VDL_OP I set16(short v) { return _mm256_set1_epi16(v); }
    VDL_OP I truncate(F v) { return _mm256_cvttps_epi32(v); }
    VDL_OP bool none(I m) { return _mm256_testz_si256(m, m); }
    VDL_OP bool all255(I m) { return _mm256_movemask_epi8(_mm256_cmpeq_epi32(m, _mm256_set1_epi32(255))) == -1; }
    VDL_OP bool allOpaque(I p) { return all255(_mm256_srli_epi32(p, 24)); }
    VDL_OP I unpackLo8(I v) { return _mm256_unpacklo_epi8(v, _mm256_setzero_si256()); }
    VDL_OP I unpackHi8(I v) { return _mm256_unpackhi_epi8(v, _mm256_setzero_si256()); }
    VDL_OP I packus16(I a, I b) { return _mm256_packus_epi16(a, b); }
    VDL_OP I min16(I a, I b) { return _mm256_min_epi16(a, b); }
    VDL_OP I add16(I a, I b) { return _mm256_add_epi16(a, b); }
    VDL_OP I sub16(I a, I b) { return _mm256_sub_epi16(a, b); }
    VDL_OP I mullo16(I a, I b) { return _mm256_mullo_epi16(a, b); }
    VDL_OP I srli16_8(I a) { return _mm256_srli_epi16(a, 8); }
    // Each pixel's alpha over its four channels.
    VDL_OP I alphaSpread(I s) {
        return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(s, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
    }
    // Each pixel's coverage (the low byte of its 32-bit lane) over the four 16-bit channels of
    // the pixels that unpacking the low (or high) bytes of each 128-bit half gives.
    VDL_OP I spread(I m, bool high) {
        const char a = high ? 8 : 0, b = high ? 12 : 4;
        return _mm256_shuffle_epi8(
            m, _mm256_broadcastsi128_si256(_mm_setr_epi8(a, -1, a, -1, a, -1, a, -1, b, -1, b, -1, b, -1, b, -1)));
    }
    VDL_OP I load(const uint32_t* p, int count) {
        if (count == lanes) return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        alignas(32) uint32_t tail[lanes] = {};
        std::memcpy(tail, p, size_t(count) * 4);
        return _mm256_load_si256(reinterpret_cast<const __m256i*>(tail));
    }
    VDL_OP void store(uint32_t* p, I v, int count) {
        if (count == lanes) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
            return;
        }
        alignas(32) uint32_t tail[lanes];
        _mm256_store_si256(reinterpret_cast<__m256i*>(tail), v);
        std::memcpy(p, tail, size_t(count) * 4);
    }
    VDL_OP __m128i gradientIndex(__m256d t) { return VDL_GRADIENT_INDEX(_mm256, _mm256_cvttpd_epi32); }
    // The tube's colours at the centres of pixels X.. of row Y into SOURCE, and M cleared where
    // the gradient does not reach; false when no pixel is left.
    VDL_OP bool gradient(const Gradient& g, int x, int y, I& m, I& source) {
        const __m256i laneBits = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
        const double by = g.b * (double(y) + 0.5);
        const __m256d va = _mm256_set1_pd(g.a), vby = _mm256_set1_pd(by), vc = _mm256_set1_pd(g.c);
        const __m256d x0d = _mm256_add_pd(_mm256_set1_pd(double(x)), _mm256_setr_pd(0.5, 1.5, 2.5, 3.5));
        const __m256d x1d = _mm256_add_pd(_mm256_set1_pd(double(x)), _mm256_setr_pd(4.5, 5.5, 6.5, 7.5));
        const __m256d t0 = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(va, x0d), vby), vc);
        const __m256d t1 = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(va, x1d), vby), vc);
        const __m256d lo = _mm256_setzero_pd(), hi = _mm256_set1_pd(1.0);
        const int in0 = _mm256_movemask_pd(_mm256_and_pd(_mm256_cmp_pd(t0, lo, _CMP_GE_OQ), _mm256_cmp_pd(t0, hi, _CMP_LE_OQ)));
        const int in1 = _mm256_movemask_pd(_mm256_and_pd(_mm256_cmp_pd(t1, lo, _CMP_GE_OQ), _mm256_cmp_pd(t1, hi, _CMP_LE_OQ)));
        const __m256i valid = _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(in0 | in1 << 4), laneBits), laneBits);
        m = _mm256_and_si256(m, valid);
        if (none(m)) return false;
        const __m256i idx = _mm256_set_m128i(gradientIndex(t1), gradientIndex(t0));
        source = _mm256_i32gather_epi32(reinterpret_cast<const int*>(g.table), idx, 4);
        return true;
    }
};

#include "stamp_kernel.inc"

#undef VDL_OP
#undef VDL_KERNEL

bool available() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}

}  // namespace avx2

namespace avx512 {

#define VDL_KERNEL __attribute__((target("avx2,avx512f,avx512bw,avx512dq")))
#define VDL_OP __attribute__((target("avx2,avx512f,avx512bw,avx512dq"), always_inline)) static inline

struct V {
    using F = __m512;
    using I = __m512i;
    using M = __mmask16;
    static constexpr int lanes = 16;

    VDL_OP F set(float v) { return _mm512_set1_ps(v); }
    VDL_OP F zero() { return _mm512_setzero_ps(); }
    VDL_OP F steps() {
        return _mm512_setr_ps(0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f, 8.5f, 9.5f, 10.5f, 11.5f, 12.5f, 13.5f,
                              14.5f, 15.5f);
    }
    VDL_OP F add(F a, F b) { return _mm512_add_ps(a, b); }
    VDL_OP F sub(F a, F b) { return _mm512_sub_ps(a, b); }
    VDL_OP F mul(F a, F b) { return _mm512_mul_ps(a, b); }
    VDL_OP F min(F a, F b) { return _mm512_min_ps(a, b); }
    VDL_OP F max(F a, F b) { return _mm512_max_ps(a, b); }
    VDL_OP F abs(F v) { return _mm512_andnot_ps(_mm512_set1_ps(-0.0f), v); }
    VDL_OP F signOf(F v) { return _mm512_and_ps(_mm512_set1_ps(-0.0f), v); }
    VDL_OP F orBits(F a, F b) { return _mm512_or_ps(a, b); }
    // The estimates of the eight-lane instructions (AVX-512's own are more precise, and would
    // give other pixels than the narrower paths).
    VDL_OP F rsqrtEstimate(F v) {
        const __m256 lo = _mm256_rsqrt_ps(_mm512_castps512_ps256(v)), hi = _mm256_rsqrt_ps(_mm512_extractf32x8_ps(v, 1));
        return _mm512_insertf32x8(_mm512_castps256_ps512(lo), hi, 1);
    }
    VDL_OP F rcpEstimate(F v) {
        const __m256 lo = _mm256_rcp_ps(_mm512_castps512_ps256(v)), hi = _mm256_rcp_ps(_mm512_extractf32x8_ps(v, 1));
        return _mm512_insertf32x8(_mm512_castps256_ps512(lo), hi, 1);
    }
    VDL_OP M ge(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_GE_OQ); }
    VDL_OP M le(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_LE_OQ); }
    VDL_OP M lt(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
    VDL_OP M gt(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_GT_OQ); }
    VDL_OP M both(M a, M b) { return M(a & b); }
    VDL_OP M butNot(M a, M b) { return M(~a & b); }  // b and not a
    VDL_OP M noLanes() { return 0; }
    VDL_OP bool all(M m) { return m == 0xFFFF; }
    VDL_OP F select(M m, F a, F b) { return _mm512_mask_blend_ps(m, b, a); }
    VDL_OP F keep(M m, F v) { return _mm512_maskz_mov_ps(m, v); }

    VDL_OP I zeroI() { return _mm512_setzero_si512(); }
    VDL_OP I setI(int v) { return _mm512_set1_epi32(v); }
    VDL_OP I set16(short v) { return _mm512_set1_epi16(v); }
    VDL_OP I truncate(F v) { return _mm512_cvttps_epi32(v); }
    VDL_OP bool none(I m) { return _mm512_test_epi32_mask(m, m) == 0; }
    VDL_OP bool all255(I m) { return _mm512_cmpeq_epi32_mask(m, _mm512_set1_epi32(255)) == 0xFFFF; }
    VDL_OP bool allOpaque(I p) { return all255(_mm512_srli_epi32(p, 24)); }
    VDL_OP I unpackLo8(I v) { return _mm512_unpacklo_epi8(v, _mm512_setzero_si512()); }
    VDL_OP I unpackHi8(I v) { return _mm512_unpackhi_epi8(v, _mm512_setzero_si512()); }
    VDL_OP I packus16(I a, I b) { return _mm512_packus_epi16(a, b); }
    VDL_OP I min16(I a, I b) { return _mm512_min_epi16(a, b); }
    VDL_OP I add16(I a, I b) { return _mm512_add_epi16(a, b); }
    VDL_OP I sub16(I a, I b) { return _mm512_sub_epi16(a, b); }
    VDL_OP I mullo16(I a, I b) { return _mm512_mullo_epi16(a, b); }
    VDL_OP I srli16_8(I a) { return _mm512_srli_epi16(a, 8); }
    VDL_OP I alphaSpread(I s) {
        return _mm512_shufflehi_epi16(_mm512_shufflelo_epi16(s, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
    }
    VDL_OP I spread(I m, bool high) {
        const char a = high ? 8 : 0, b = high ? 12 : 4;
        return _mm512_shuffle_epi8(
            m, _mm512_broadcast_i32x4(_mm_setr_epi8(a, -1, a, -1, a, -1, a, -1, b, -1, b, -1, b, -1, b, -1)));
    }
    VDL_OP I load(const uint32_t* p, int count) {
        return _mm512_maskz_loadu_epi32(__mmask16((1u << count) - 1), p);
    }
    VDL_OP void store(uint32_t* p, I v, int count) { _mm512_mask_storeu_epi32(p, __mmask16((1u << count) - 1), v); }
    VDL_OP __m256i gradientIndex(__m512d t) { return VDL_GRADIENT_INDEX(_mm512, _mm512_cvttpd_epi32); }
    VDL_OP bool gradient(const Gradient& g, int x, int y, I& m, I& source) {
        const double by = g.b * (double(y) + 0.5);
        const __m512d va = _mm512_set1_pd(g.a), vby = _mm512_set1_pd(by), vc = _mm512_set1_pd(g.c);
        const __m512d x0d = _mm512_add_pd(_mm512_set1_pd(double(x)), _mm512_setr_pd(0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5, 7.5));
        const __m512d x1d =
            _mm512_add_pd(_mm512_set1_pd(double(x)), _mm512_setr_pd(8.5, 9.5, 10.5, 11.5, 12.5, 13.5, 14.5, 15.5));
        const __m512d t0 = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(va, x0d), vby), vc);
        const __m512d t1 = _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(va, x1d), vby), vc);
        const __m512d lo = _mm512_setzero_pd(), hi = _mm512_set1_pd(1.0);
        const unsigned in0 = _mm512_cmp_pd_mask(t0, lo, _CMP_GE_OQ) & _mm512_cmp_pd_mask(t0, hi, _CMP_LE_OQ);
        const unsigned in1 = _mm512_cmp_pd_mask(t1, lo, _CMP_GE_OQ) & _mm512_cmp_pd_mask(t1, hi, _CMP_LE_OQ);
        m = _mm512_maskz_mov_epi32(__mmask16(in0 | in1 << 8), m);
        if (none(m)) return false;
        const __m512i idx = _mm512_inserti64x4(_mm512_castsi256_si512(gradientIndex(t0)), gradientIndex(t1), 1);
        source = _mm512_i32gather_epi32(idx, reinterpret_cast<const int*>(g.table), 4);
        return true;
    }
};

#include "stamp_kernel.inc"

#undef VDL_OP
#undef VDL_KERNEL

bool available() {
    static const bool yes = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                            __builtin_cpu_supports("avx512dq");
    return yes;
}

}  // namespace avx512
#undef VDL_GRADIENT_INDEX
#pragma GCC diagnostic pop
#endif

class CapsuleStamper {
public:
    explicit CapsuleStamper(Rasterizer& raster) : raster_(raster) {
        for (auto& c : cover_) c.assign(size_t(raster.width()) + 8, 0);
    }

    // The strokes LAYERS[0 .. N) along P->Q (pixels), drawn in that order over each pixel.
    // P and Q lie within a few thousand pixels of the image (the caller cuts long segments).
    void stamp(double px, double py, double qx, double qy, const StrokeLayer* layers, int n) {
        float rMax = 0;
        for (int i = 0; i < n; ++i) rMax = std::max(rMax, layers[i].radius);
        const double reach = double(rMax) + 0.75;
        const int width = raster_.width();
        const int top = raster_.top(), bottom = raster_.bottom();
        const double minX = std::min(px, qx) - reach, maxX = std::max(px, qx) + reach;
        const double minY = std::min(py, qy) - reach, maxY = std::max(py, qy) + reach;
        if (!(minX < width && maxX > 0 && minY < bottom && maxY > top)) return;

        const double dx = qx - px, dy = qy - py;
        const double len = std::sqrt(dx * dx + dy * dy);
        const bool point = !(len > 1e-6);
        const float L = point ? 0.0f : float(len);
        const float ux = point ? 1.0f : float(dx / len), uy = point ? 0.0f : float(dy / len);

        // A stroke inside one pixel covers it by its own area.
        const double cellX = std::floor(std::min(px, qx) - rMax), cellY = std::floor(std::min(py, qy) - rMax);
        if (std::max(px, qx) + rMax <= cellX + 1.0 && std::max(py, qy) + rMax <= cellY + 1.0) {
            if (cellX < 0 || cellX >= width || cellY < top || cellY >= bottom) return;
            uint32_t* row = raster_.row(int(cellY));
            for (int i = 0; i < n; ++i) {
                const float r = layers[i].radius;
                const float area = 2.0f * r * L + float(2.0 * capArea(r));
                const uint32_t m = uint32_t(std::min(area, 1.0f) * 255.0f + 0.5f);
                if (!m) continue;
                if (layers[i].gradient)
                    layers[i].shade.pixel(row, int(cellY), int(cellX), m);
                else
                    layers[i].solid.pixel(row, int(cellY), int(cellX), m);
            }
            return;
        }

        if (rMax < kTinyStroke && L < float(kShortStroke)) {
            stampTiny(px, py, qx, qy, double(ux), double(uy), double(L), layers, n);
            return;
        }

        const Profile body = Profile::along(std::fabs(ux), std::fabs(uy));
        const int rowBegin = std::max(top, int(std::floor(minY)));
        const int rowEnd = std::min(bottom, int(std::ceil(maxY)));
        const RowSpan span(px, py, dx, reach, double(rMax), body, ux, uy, L, width);
#ifdef VARDELLE_HAVE_VECTOR_ROWS
        if (wide_ == Wide::Avx512) {
            avx512::stampFused(layers, n, raster_, span, body, rowBegin, rowEnd);
            return;
        }
        if (wide_ == Wide::Avx2) {
            avx2::stampFused(layers, n, raster_, span, body, rowBegin, rowEnd);
            return;
        }
        sse::stampFused(layers, n, raster_, span, body, rowBegin, rowEnd);
        return;
#endif
        for (int y = rowBegin; y < rowEnd; ++y) {
            int x0, x1;
            if (!span.columns(y, x0, x1)) continue;
            // Whole groups of four where the image allows: the extra pixels get their own
            // (nil) coverage, and the blending needs no pixel-by-pixel tail.
            uint32_t* row = raster_.row(y);
            x1 = std::min(width, x0 + ((x1 - x0 + 3) & ~3));
            coverRow(layers, n, float(px), float(py), ux, uy, L, body, y, x0, x1);
            for (int i = 0; i < n; ++i) {
                if (layers[i].gradient)
                    layers[i].shade.run(row, y, x0, cover_[size_t(i)].data(), x1 - x0);
                else
                    layers[i].solid.run(row, y, x0, cover_[size_t(i)].data(), x1 - x0);
            }
        }
    }

private:
    // A short stroke much thinner than a pixel (a small thumbnail): its area in each pixel is
    // its width times the length of its axis inside the pixel, the axis taken at two offsets
    // across (Gauss points, so a stroke on a pixel border shares out) and lengthened at both
    // ends to count the ends' area.
    void stampTiny(double px, double py, double qx, double qy, double ux, double uy, double len,
                   const StrokeLayer* layers, int n) {
        float rMax = 0;
        for (int i = 0; i < n; ++i) rMax = std::max(rMax, layers[i].radius);
        const int width = raster_.width();
        const int cx0 = std::max(0, int(std::floor(std::min(px, qx) - rMax)));
        const int cx1 = std::min(width - 1, int(std::floor(std::max(px, qx) + rMax)));
        const int cy0 = std::max(raster_.top(), int(std::floor(std::min(py, qy) - rMax)));
        const int cy1 = std::min(raster_.bottom() - 1, int(std::floor(std::max(py, qy) + rMax)));
        if (cx1 < cx0 || cy1 < cy0) return;
        const int cols = cx1 - cx0 + 1, rows = cy1 - cy0 + 1;
        if (cols * rows > int(tiny_.size())) return;  // cannot happen for a short thin stroke
        const double nx = -uy, ny = ux;
        for (int i = 0; i < n; ++i) {
            const double r = layers[i].radius;
            const double e = r > 0 ? capArea(layers[i].radius) / (2 * r) : 0.0;
            std::fill_n(tiny_.begin(), cols * rows, 0.0f);
            for (const double side : {-1.0, 1.0}) {
                const double o = side * r / std::sqrt(3.0);
                const double ax = px + o * nx - e * ux, ay = py + o * ny - e * uy;
                const double dx = (len + 2 * e) * ux, dy = (len + 2 * e) * uy;
                const double full = len + 2 * e;
                // Where A + t D crosses each pixel border, once for the whole grid.
                std::array<double, 65> gx, gy;
                const bool alongX = !(std::fabs(dx) < 1e-12), alongY = !(std::fabs(dy) < 1e-12);
                for (int k = 0; alongX && k <= cols; ++k) gx[size_t(k)] = (double(cx0 + k) - ax) / dx;
                for (int k = 0; alongY && k <= rows; ++k) gy[size_t(k)] = (double(cy0 + k) - ay) / dy;
                // The part of A + t D, 0 <= t <= 1, inside the slab of borders K, K + 1 (or, not
                // moving that way, whether A lies in it).
                auto slab = [](bool along, const std::array<double, 65>& g, double a, int lo, int k, double& t0,
                               double& t1) {
                    if (!along) return a >= double(lo) && a < double(lo) + 1.0;
                    double s0 = g[size_t(k)], s1 = g[size_t(k) + 1];
                    if (s0 > s1) std::swap(s0, s1);
                    t0 = std::max(t0, s0);
                    t1 = std::min(t1, s1);
                    return t0 < t1;
                };
                for (int yy = cy0; yy <= cy1; ++yy)
                    for (int xx = cx0; xx <= cx1; ++xx) {
                        double t0 = 0.0, t1 = 1.0;
                        if (!slab(alongX, gx, ax, xx, xx - cx0, t0, t1) || !slab(alongY, gy, ay, yy, yy - cy0, t0, t1))
                            continue;
                        tiny_[size_t((yy - cy0) * cols + (xx - cx0))] += float(r * (t1 - t0) * full);
                    }
            }
            for (int yy = cy0; yy <= cy1; ++yy) {
                uint32_t* row = raster_.row(yy);
                for (int xx = cx0; xx <= cx1; ++xx) {
                    const float a = tiny_[size_t((yy - cy0) * cols + (xx - cx0))];
                    const uint32_t m = uint32_t(std::min(a, 1.0f) * 255.0f + 0.5f);
                    if (!m) continue;
                    if (layers[i].gradient)
                        layers[i].shade.pixel(row, yy, xx, m);
                    else
                        layers[i].solid.pixel(row, yy, xx, m);
                }
            }
        }
    }

    // The coverage of every layer for pixels X0 .. X1 - 1 of row Y, into cover_ (processors
    // without the vector rows).
    void coverRow(const StrokeLayer* layers, int n, float px, float py, float ux, float uy, float L,
                  const Profile& body, int y, int x0, int x1) {
        const float cy = float(y) + 0.5f - py;
        for (int x = x0; x < x1; ++x) {
            const float cx = float(x) + 0.5f - px;
            const float tau = cx * ux + cy * uy, s = cy * ux - cx * uy;
            float d = std::fabs(s);
            Profile prof = body;
            bool cap = false;
            if (!(tau >= 0 && tau <= L)) {
                const float tc = std::clamp(tau, 0.0f, L);
                const float ex = cx - tc * ux, ey = cy - tc * uy;
                const float dd = std::sqrt(ex * ex + ey * ey);
                if (dd > 1e-6f) {
                    prof = Profile::along(std::fabs(ex) / dd, std::fabs(ey) / dd);
                    d = dd;
                    cap = true;
                }
            }
            for (int i = 0; i < n; ++i) {
                const float r = layers[i].radius;
                float c;
                if (r < kThinStroke) {
                    const float e = float(kPi / 4) * r;
                    const float inner = body.reach - e;
                    c = body.F(r - s) - body.F(-r - s);
                    if (!(tau >= inner && tau <= L - inner)) c *= body.F(L + e - tau) - body.F(-e - tau);
                } else {
                    c = prof.F(r - d - (cap ? 1.0f / (24.0f * r) : 0.0f));
                }
                cover_[size_t(i)][size_t(x - x0)] = uint8_t(std::clamp(c, 0.0f, 1.0f) * 255.0f + 0.5f);
            }
        }
    }

    // flattenedCapArea(R), kept for the few radii of one drawing.
    double capArea(float r) {
        for (const CapArea& c : capAreas_)
            if (c.radius == r) return c.area;
        capAreas_[nextCapArea_] = CapArea{r, flattenedCapArea(double(r))};
        const double area = capAreas_[nextCapArea_].area;
        nextCapArea_ = (nextCapArea_ + 1) % capAreas_.size();
        return area;
    }

    Rasterizer& raster_;
    struct CapArea {
        float radius = -1.0f;
        double area = 0.0;
    };
    std::array<CapArea, 4> capAreas_{};
    size_t nextCapArea_ = 0;
#ifdef VARDELLE_HAVE_VECTOR_ROWS
    // The widest rows the processor allows; VARDELLE_RASTER_NO_AVX512 and VARDELLE_RASTER_NO_AVX2
    // hold them narrower (the tests compare the widths).
    enum class Wide { Sse, Avx2, Avx512 };
    static Wide widest() {
        if (!avx2::available() || std::getenv("VARDELLE_RASTER_NO_AVX2")) return Wide::Sse;
        if (!avx512::available() || std::getenv("VARDELLE_RASTER_NO_AVX512")) return Wide::Avx2;
        return Wide::Avx512;
    }
    const Wide wide_ = widest();
#endif
    std::array<std::vector<uint8_t>, 3> cover_;
    std::array<float, 64> tiny_{};  // a short thin stroke's area in each pixel it reaches
};

// ---- the painter the walk drives ----------------------------------------------------------------

// How far (pixels) the widest thing drawn reaches from a segment's axis: what the recorder
// keeps for a strip and what the painter draws must agree on it.
double drawingReach(const VDLRasterOptions& options, const VDLImageTransform& t) {
    const Widths widths(options.showStructure);
    return std::max(widths.line, kNeedlePointSize * 0.75) * 0.5 * std::max(std::fabs(t.sx), std::fabs(t.sy)) + 2.0;
}

class RasterPainter {
public:
    RasterPainter(Rasterizer& raster, const VDLImageTransform& t, const VDLRasterOptions& options)
        : raster_(raster), t_(t), show3D_(options.show3D), showStructure_(options.showStructure),
          widths_(options.showStructure), maxScale_(std::max(std::fabs(t.sx), std::fabs(t.sy))),
          minScale_(std::min(std::fabs(t.sx), std::fabs(t.sy))),
          uniform_(maxScale_ - minScale_ <= 1e-6 * maxScale_), scale_(0.5 * (maxScale_ + minScale_)),
          stamper_(raster) {
        selection_ = premultiplied(kSelectionColor);
        needle_ = premultiplied(kNeedlePointColor);
        reach_ = drawingReach(options, t);
        originX_ = -t_.tx / t_.sx;
        originY_ = -t_.ty / t_.sy;
    }

    void block(const BlockColors& colors) {
        colors_ = &colors;
        flat_ = premultiplied(colors.flat);
        dark_ = premultiplied(colors.dark);
        dimmed_ = premultiplied(colors.dimmed);
        dimmedDark_ = premultiplied(colors.dimmedDark);
        tablesBuilt_ = false;
    }

    void draw(Segment kind, float px, float py, float qx, float qy, bool dimmed, bool selected) {
        // Quick rejection of what cannot touch this band.
        const double dpy = t_.sy * double(py) + t_.ty, dqy = t_.sy * double(qy) + t_.ty;
        if (std::min(dpy, dqy) - reach_ >= raster_.bottom() || std::max(dpy, dqy) + reach_ <= raster_.top()) return;
        const double dpx = t_.sx * double(px) + t_.tx, dqx = t_.sx * double(qx) + t_.tx;
        if (std::min(dpx, dqx) - reach_ >= raster_.width() || std::max(dpx, dqx) + reach_ <= 0.0) return;

        if (kind == Segment::Thread && stamped(dpx, dpy, dqx, dqy, 0.5 * widths_.line)) {
            StrokeLayer layers[3];
            int n = 0;
            layers[n].radius = float(0.5 * widths_.line * scale_);
            layers[n++].solid = Solid{dimmed ? dimmedDark_ : dark_};
            if (show3D_) {
                if (tubeGradient(px, py, qx, qy, dimmed, layers[n].shade)) {
                    layers[n].radius = float(widths_.tubeRadius * scale_);
                    layers[n++].gradient = true;
                }
            } else {
                layers[n].radius = float(0.5 * widths_.inner * scale_);
                layers[n++].solid = Solid{dimmed ? dimmed_ : flat_};
            }
            if (selected) {
                layers[n].radius = float(0.5 * widths_.line * scale_);
                layers[n++].solid = Solid{selection_};
            }
            stampSegment(dpx, dpy, dqx, dqy, layers, n);
        } else if (kind == Segment::Thread) {
            stroke(px, py, qx, qy, widths_.line, Solid{dimmed ? dimmedDark_ : dark_});
            if (show3D_)
                tube(px, py, qx, qy, dimmed);
            else
                stroke(px, py, qx, qy, widths_.inner, Solid{dimmed ? dimmed_ : flat_});
            if (selected) stroke(px, py, qx, qy, widths_.line, Solid{selection_});
        } else {
            dashed(px, py, qx, qy, widths_.jump, dimmed ? dimmed_ : show3D_ ? dark_ : flat_);
            if (selected) dashed(px, py, qx, qy, widths_.jump, selection_);
        }
        if (showStructure_) needlePoint(qx, qy);
    }

private:
    double devX(double x) const { return t_.sx * x + t_.tx; }
    double devY(double y) const { return t_.sy * y + t_.ty; }

    // Part [t0, t1] of P->Q (pixels) inside the band widened by MARGIN; false when none.
    bool clipToBand(double px, double py, double qx, double qy, double margin, double& t0, double& t1) const {
        return clipToRect(px, py, qx, qy, raster_.top(), raster_.bottom(), margin, t0, t1);
    }

    // Part [t0, t1] of P->Q (pixels) inside the image's rows FROM .. TO widened by MARGIN.
    bool clipToRect(double px, double py, double qx, double qy, double from, double to, double margin, double& t0,
                    double& t1) const {
        t0 = 0.0;
        t1 = 1.0;
        const double left = -margin, right = raster_.width() + margin;
        const double top = from - margin, bottom = to + margin;
        if (std::min(px, qx) >= left && std::max(px, qx) <= right && std::min(py, qy) >= top &&
            std::max(py, qy) <= bottom)
            return true;  // wholly inside: nothing to cut
        const double dx = qx - px, dy = qy - py;
        auto edge = [&](double p, double q) {  // p t <= q
            if (p == 0.0) return q >= 0.0;
            const double r = q / p;
            if (p < 0.0) {
                if (r > t1) return false;
                t0 = std::max(t0, r);
            } else {
                if (r < t0) return false;
                t1 = std::min(t1, r);
            }
            return true;
        };
        return edge(-dx, px - left) && edge(dx, right - px) && edge(-dy, py - top) && edge(dy, bottom - py) &&
               t0 <= t1;
    }

    // Unit cosines and sines of the vertices of a half disc flattened to N segments.
    const std::array<double, 2 * (kMaxCapSegments + 1)>& capTable(int n) {
        auto& table = capTables_[size_t(n)];
        if (!capBuilt_[size_t(n)]) {
            for (int k = 0; k <= n; ++k) {
                const double a = -kPi / 2 + kPi * double(k) / double(n);
                table[size_t(2 * k)] = std::cos(a);
                table[size_t(2 * k + 1)] = std::sin(a);
            }
            capBuilt_[size_t(n)] = true;
        }
        return table;
    }

    // The strokes of a stitch take turns (outline, tube or inner line): the last two radii kept.
    int capSegments(double radiusPixels) {
        if (radiusPixels == lastRadius_[0]) return lastSegments_[0];
        std::swap(lastRadius_[0], lastRadius_[1]);
        std::swap(lastSegments_[0], lastSegments_[1]);
        if (radiusPixels == lastRadius_[0]) return lastSegments_[0];
        lastRadius_[0] = radiusPixels;
        lastSegments_[0] = capSegmentsFor(radiusPixels);
        return lastSegments_[0];
    }

    // The round-capped stroke of width W from P to Q (design units) as a polygon in pixels,
    // cut to the band first so that huge coordinates stay harmless.
    template <class Shade>
    void capsule(double px, double py, double qx, double qy, double halfWidth, const Shade& shade) {
        const double reach = halfWidth * maxScale_;
        double t0, t1;
        const double dpx = devX(px), dpy = devY(py), dqx = devX(qx), dqy = devY(qy);
        if (!std::isfinite(dpx) || !std::isfinite(dpy) || !std::isfinite(dqx) || !std::isfinite(dqy)) return;
        if (!clipToBand(dpx, dpy, dqx, dqy, reach + 2.0, t0, t1)) return;
        double ux = qx - px, uy = qy - py;
        const double len = std::sqrt(ux * ux + uy * uy);
        if (len > 0.0 && std::isfinite(len)) {
            ux /= len;
            uy /= len;
        } else {
            ux = 1.0;
            uy = 0.0;
        }
        // Cut ends lie so far outside the band that their caps cannot reach it.
        const double ax = t0 > 0.0 ? px + (qx - px) * t0 : px, ay = t0 > 0.0 ? py + (qy - py) * t0 : py;
        const double bx = t1 < 1.0 ? px + (qx - px) * t1 : qx, by = t1 < 1.0 ? py + (qy - py) * t1 : qy;
        const double nx = -uy, ny = ux;
        const int n = capSegments(reach);
        const auto& cs = capTable(n);
        double vx[2 * (kMaxCapSegments + 1)], vy[2 * (kMaxCapSegments + 1)];
        int v = 0;
        for (int k = 0; k <= n; ++k) {  // round the end, from the right side to the left
            const double c = cs[size_t(2 * k)], s = cs[size_t(2 * k + 1)];
            vx[v] = devX(bx + halfWidth * (c * ux + s * nx));
            vy[v] = devY(by + halfWidth * (c * uy + s * ny));
            ++v;
        }
        for (int k = 0; k <= n; ++k) {  // and round the start back
            const double c = -cs[size_t(2 * k)], s = -cs[size_t(2 * k + 1)];
            vx[v] = devX(ax + halfWidth * (c * ux + s * nx));
            vy[v] = devY(ay + halfWidth * (c * uy + s * ny));
            ++v;
        }
        raster_.fill(vx, vy, v, shade);
    }

    template <class Shade>
    void stroke(float px, float py, float qx, float qy, double width, const Shade& shade) {
        capsule(px, py, qx, qy, width / 2, shade);
    }

    // The shaded tube: a capsule of the tube radius filled across its width with the gradient
    // dark - light - dark, its axis placed exactly as the context path places it.
    void tube(float px, float py, float qx, float qy, bool dimmed) {
        Gradient g;
        if (tubeGradient(px, py, qx, qy, dimmed, g)) capsule(px, py, qx, qy, widths_.tubeRadius, g);
    }

    // The gradient across the tube of P->Q; false when the tube has no width.
    bool tubeGradient(float px, float py, float qx, float qy, bool dimmed, Gradient& g) {
        if (!tablesBuilt_) {
            buildGradientTable(colors_->gradient, gradient_.data());
            buildGradientTable(colors_->dimmedGradient, dimmedGradient_.data());
            tablesBuilt_ = true;
        }
        const double rr = widths_.tubeRadius;
        // The direction's sine and cosine depend on the segment's differences alone: a run of
        // stitches of one length and direction (a fill's rows, a satin's two slants) asks for
        // the same ones again.
        float dx = qx - px, dy = qy - py;
        uint32_t bx, by;
        std::memcpy(&bx, &dx, 4);
        std::memcpy(&by, &dy, 4);
        const uint64_t key = uint64_t(bx) << 32 | by;
        if (directions_[0].key != key) {
            if (directions_[1].key == key) {
                std::swap(directions_[0], directions_[1]);
            } else {
                directions_[1] = directions_[0];
                const float angle = tubeAngle(px, py, qx, qy);
                directions_[0] = Direction{key, std::sin(angle), std::cos(angle)};
            }
        }
        const double s = directions_[0].sin;
        const double c = directions_[0].cos;
        const double g0x = px - rr * s, g0y = py + rr * c;
        const double ax = 2 * rr * s, ay = -2 * rr * c;
        const double len2 = ax * ax + ay * ay;
        if (!(len2 >= 1e-18)) return false;
        // t at user point (x, y) = ((x - g0x) ax + (y - g0y) ay) / len2, with x = (X - tx) / sx.
        g.table = dimmed ? dimmedGradient_.data() : gradient_.data();
        g.a = ax / (t_.sx * len2);
        g.b = ay / (t_.sy * len2);
        g.c = ((originX_ - g0x) * ax + (originY_ - g0y) * ay) / len2;
        return true;
    }

    // LAYERS along P->Q (pixels) through the stamper, the segment cut to the band first so that
    // huge coordinates stay harmless (the cut ends lie too far out for their caps to reach in).
    void stampSegment(double dpx, double dpy, double dqx, double dqy, const StrokeLayer* layers, int n) {
        if (n == 0) return;
        if (!std::isfinite(dpx) || !std::isfinite(dpy) || !std::isfinite(dqx) || !std::isfinite(dqy)) return;
        float rMax = 0;
        for (int i = 0; i < n; ++i) rMax = std::max(rMax, layers[i].radius);
        // Cut to the whole image, not the band, so that every band sees the same segment.
        double t0, t1;
        if (!clipToRect(dpx, dpy, dqx, dqy, 0.0, raster_.imageHeight(), double(rMax) + 2.0, t0, t1)) return;
        const double ex = dqx - dpx, ey = dqy - dpy;
        const double ax = t0 > 0.0 ? dpx + ex * t0 : dpx, ay = t0 > 0.0 ? dpy + ey * t0 : dpy;
        const double bx = t1 < 1.0 ? dpx + ex * t1 : dqx, by = t1 < 1.0 ? dpy + ey * t1 : dqy;
        stamper_.stamp(ax, ay, bx, by, layers, n);
    }

    // Whether strokes of half width HALFWIDTH (design units, the widest of a stitch) along P->Q
    // (pixels) go through the stamper: not when the scale differs across and along, nor for
    // short strokes thinner than a pixel (a small thumbnail), where the polygon's exact area
    // keeps the many stroke ends right.
    bool stamped(double dpx, double dpy, double dqx, double dqy, double halfWidth) const {
        if (!uniform_) return false;
        const double radius = halfWidth * scale_;
        if (radius >= double(kThinStroke) || radius < double(kTinyStroke)) return true;
        const double ex = dqx - dpx, ey = dqy - dpy;
        return ex * ex + ey * ey >= kShortStroke * kShortStroke;
    }

    // One round-capped stroke of half width HALFWIDTH (design units) in a flat colour.
    void solidStroke(double px, double py, double qx, double qy, double halfWidth, uint32_t color) {
        const double dpx = devX(px), dpy = devY(py), dqx = devX(qx), dqy = devY(qy);
        if (!stamped(dpx, dpy, dqx, dqy, halfWidth)) {
            capsule(px, py, qx, qy, halfWidth, Solid{color});
            return;
        }
        StrokeLayer layer;
        layer.radius = float(halfWidth * scale_);
        layer.solid = Solid{color};
        stampSegment(dpx, dpy, dqx, dqy, &layer, 1);
    }

    // Dashes of 2 on, 3 off along P->Q from P, each a round-capped stroke. Only the dashes
    // inside the band are visited. Dashes finer than a pixel merge into a line of the colour at
    // the dash's share of the coverage.
    void dashed(float px, float py, float qx, float qy, double width, uint32_t color) {
        const double period = kJumpDashOn + kJumpDashOff;
        const double dpx = devX(px), dpy = devY(py), dqx = devX(qx), dqy = devY(qy);
        if (!std::isfinite(dpx) || !std::isfinite(dpy) || !std::isfinite(dqx) || !std::isfinite(dqy)) return;
        const double halfWidth = width / 2;
        double t0, t1;
        // Cut to the whole image, not the band: every band then draws the very same dashes.
        if (!clipToRect(dpx, dpy, dqx, dqy, 0.0, raster_.imageHeight(), halfWidth * maxScale_ + 2.0, t0, t1)) return;
        const double ux = double(qx) - px, uy = double(qy) - py;
        const double len = std::hypot(ux, uy);
        if (!(len > 0.0) || !std::isfinite(len)) return;
        if (period * minScale_ < 1.0) {
            const uint32_t share = uint32_t(std::lround(255.0 * kJumpDashOn / period));
            solidStroke(px + ux * t0, py + uy * t0, px + ux * t1, py + uy * t1, halfWidth, mulUn8x4(color, share));
            return;
        }
        const double from = t0 * len, to = t1 * len;
        // The visible part spans at most a few thousand periods (each at least one pixel); the
        // count also bounds the loop where coordinates are too large for whole periods.
        const double first = std::floor(from / period);
        const double count = std::ceil((to - from) / period) + 2.0;
        if (!(count < 1e6)) return;
        for (int i = 0; i < int(count); ++i) {
            const double start = (first + i) * period;
            if (!(start < to)) break;
            const double s0 = std::max(start, from);
            const double s1 = std::min({start + kJumpDashOn, to, len});
            if (!(s1 > s0)) continue;
            const double f0 = s0 / len, f1 = s1 / len;
            solidStroke(px + ux * f0, py + uy * f0, px + ux * f1, py + uy * f1, halfWidth, color);
        }
    }

    void needlePoint(float qx, float qy) {
        const double h = kNeedlePointSize / 2;
        const double x0 = devX(double(qx) - h), x1 = devX(double(qx) + h);
        const double y0 = devY(double(qy) - h), y1 = devY(double(qy) + h);
        const double vx[4] = {x0, x1, x1, x0}, vy[4] = {y0, y0, y1, y1};
        raster_.fill(vx, vy, 4, Solid{needle_});
    }

    Rasterizer& raster_;
    VDLImageTransform t_;
    bool show3D_, showStructure_;
    Widths widths_;
    double maxScale_, minScale_;
    bool uniform_;  // the same scale across and along: strokes go through the stamper
    double scale_;
    CapsuleStamper stamper_;
    double reach_;
    double originX_, originY_;  // the design point at the image's origin
    struct Direction {
        uint64_t key = ~uint64_t(0);  // the float differences' bits (never both all ones)
        double sin = 0, cos = 0;
    };
    std::array<Direction, 2> directions_{};  // the last two segments' directions
    double lastRadius_[2] = {-1.0, -1.0};
    int lastSegments_[2] = {2, 2};
    const BlockColors* colors_ = nullptr;
    uint32_t flat_ = 0, dark_ = 0, dimmed_ = 0, dimmedDark_ = 0, selection_ = 0, needle_ = 0;
    bool tablesBuilt_ = false;
    std::array<uint32_t, kGradientSteps + 1> gradient_{}, dimmedGradient_{};
    std::array<std::array<double, 2 * (kMaxCapSegments + 1)>, kMaxCapSegments + 1> capTables_{};
    std::array<bool, kMaxCapSegments + 1> capBuilt_{};
};

std::atomic<int> gRasterEnabled{-1};  // -1: not yet read from the environment

// What the walk asks of one thread's rows, kept so that each strip draws only what crosses it.
struct Command {
    float px, py, qx, qy;
    uint32_t block;               // the colour block, counted from 0 as the walk starts them
    uint16_t firstStrip, lastStrip;
    uint8_t kind, dimmed, selected;
};

class Recorder {
public:
    Recorder(const VDLImageTransform& t, const VDLRasterOptions& options, int width, int top, int bottom, int strip)
        : t_(t), cancelled_(options.cancelled), width_(width), top_(top), bottom_(bottom), strip_(strip) {
        reach_ = drawingReach(options, t);
    }
    void block(const BlockColors&) { ++block_; }
    void draw(Segment kind, float px, float py, float qx, float qy, bool dimmed, bool selected) {
        if (stopped_ || ((++calls_ & 4095) == 0 && cancelled_ && (stopped_ = cancelled_()))) return;
        const double dpy = t_.sy * double(py) + t_.ty, dqy = t_.sy * double(qy) + t_.ty;
        const double y0 = std::min(dpy, dqy) - reach_, y1 = std::max(dpy, dqy) + reach_;
        if (!(y0 < bottom_ && y1 > top_)) return;
        const double dpx = t_.sx * double(px) + t_.tx, dqx = t_.sx * double(qx) + t_.tx;
        if (std::min(dpx, dqx) - reach_ >= width_ || std::max(dpx, dqx) + reach_ <= 0.0) return;
        const int last = (bottom_ - 1 - top_) / strip_;
        const int s0 = y0 <= top_ ? 0 : std::min(last, int((y0 - top_) / strip_));
        const int s1 = y1 >= bottom_ ? last : std::min(last, int((y1 - top_) / strip_));
        commands.push_back(Command{px, py, qx, qy, uint32_t(block_), uint16_t(s0), uint16_t(s1), uint8_t(kind),
                                   uint8_t(dimmed), uint8_t(selected)});
    }
    std::vector<Command> commands;
    bool stopped() const { return stopped_; }

private:
    const VDLImageTransform& t_;
    const std::function<bool()>& cancelled_;
    bool stopped_ = false;
    uint32_t calls_ = 0;
    int width_, top_, bottom_, strip_;
    double reach_;
    int64_t block_ = -1;
};

// A band's recorded commands and their order by strip, lent from a small pool.
struct CommandLists {
    std::vector<Command> commands;
    std::vector<uint32_t> order;

    static std::unique_ptr<CommandLists> take() {
        {
            std::lock_guard<std::mutex> lock(poolMutex());
            auto& p = pool();
            if (!p.empty()) {
                std::unique_ptr<CommandLists> lists = std::move(p.back());
                p.pop_back();
                return lists;
            }
        }
        return std::make_unique<CommandLists>();
    }
    static void give(std::unique_ptr<CommandLists> lists) {
        constexpr size_t kKeep = 32u << 20;
        if (!lists || lists->commands.capacity() * sizeof(Command) + lists->order.capacity() * 4 > kKeep) return;
        std::lock_guard<std::mutex> lock(poolMutex());
        if (pool().size() < 4) pool().push_back(std::move(lists));
    }

private:
    static std::mutex& poolMutex() {
        static std::mutex m;
        return m;
    }
    static std::vector<std::unique_ptr<CommandLists>>& pool() {
        static auto* p = new std::vector<std::unique_ptr<CommandLists>>();  // lives as long as the process
        return *p;
    }
};

// One thread's rows, drawn as strips small enough to stay in the processor's cache while every
// stitch that crosses them is drawn (a stroke touches a new row of pixels every few pixels; over
// a whole large image those rows would come from memory each time). The stitch list is walked
// once; what it draws is sorted into the strips it crosses, keeping its order.
void drawBandRows(const VDLDesign& design, VDLRect rect, const VDLImageBuffer& image, const VDLImageTransform& t,
                  const VDLRasterOptions& options, int top, int bottom) {
    if (bottom <= top) return;
    constexpr int64_t kStripPixels = 160 * 1024;
    const int strip = int(std::clamp<int64_t>(kStripPixels / image.width, 16, 4096));
    Rasterizer raster(image, top, std::min(bottom, top + strip));
    auto painter = std::make_unique<RasterPainter>(raster, t, options);
    auto cancelled = [&] { return options.cancelled && options.cancelled(); };
    if (cancelled()) return;
    // Strokes about a pixel wide touch a row or two each: drawn straight into the band they stay
    // in the cache anyway, and no list of every stitch (28 bytes each) is needed. Wider strokes
    // sweep many rows each; strips keep those rows at hand.
    constexpr double kStripReach = 3.0;
    if (bottom - top <= strip || drawingReach(options, t) < kStripReach) {
        raster.setRows(top, bottom);
        // The painter, asked now and then whether the drawing is still wanted.
        struct Stoppable {
            RasterPainter& painter;
            const VDLRasterOptions& options;
            uint32_t calls = 0;
            bool stopped = false;
            void block(const BlockColors& colors) { painter.block(colors); }
            void draw(Segment kind, float px, float py, float qx, float qy, bool dimmed, bool selected) {
                if (stopped || ((++calls & 1023) == 0 && options.cancelled && (stopped = options.cancelled()))) return;
                painter.draw(kind, px, py, qx, qy, dimmed, selected);
            }
        } stoppable{*painter, options};
        walkDesign(design, rect, options.showJumps, options.thread, stoppable);
        return;
    }

    // The lists are kept from one drawing to the next (fresh memory costs a page fault every
    // few thousand commands), unless they have grown very large.
    std::unique_ptr<CommandLists> lists = CommandLists::take();
    struct Release {
        std::unique_ptr<CommandLists>& lists;
        ~Release() { CommandLists::give(std::move(lists)); }
    } release{lists};
    std::vector<uint32_t>& order = lists->order;
    Recorder recorder(t, options, image.width, top, bottom, strip);
    recorder.commands.swap(lists->commands);
    recorder.commands.clear();
    // Room for every stitch at once (pages are only touched as commands are written), on
    // large pages: growing the list step by step would copy it over and over.
    if (recorder.commands.capacity() < design.stitches().size() + 1) {
        recorder.commands.reserve(design.stitches().size() + 1);
        VDLAdviseLargeBuffer(recorder.commands.data(), recorder.commands.capacity() * sizeof(Command));
    }
    walkDesign(design, rect, options.showJumps, options.thread, recorder);
    recorder.commands.swap(lists->commands);
    if (recorder.stopped()) return;
    const std::vector<Command>& commands = lists->commands;
    const int strips = (bottom - top + strip - 1) / strip;
    std::vector<uint32_t> start(size_t(strips) + 1, 0);
    for (const Command& c : commands)
        for (int k = c.firstStrip; k <= c.lastStrip; ++k) ++start[size_t(k) + 1];
    for (int k = 0; k < strips; ++k) start[size_t(k) + 1] += start[size_t(k)];
    order.resize(start.back());
    {
        std::vector<uint32_t> fill(start.begin(), start.end() - 1);
        for (uint32_t i = 0; i < commands.size(); ++i)
            for (int k = commands[i].firstStrip; k <= commands[i].lastStrip; ++k) order[fill[size_t(k)]++] = i;
    }

    const std::vector<VDLThread>& threads = design.threads();
    BlockColors colors;
    int64_t current = -1;
    for (int k = 0; k < strips; ++k) {
        if (cancelled()) return;
        const int y = top + k * strip;
        raster.setRows(y, std::min(bottom, y + strip));
        for (uint32_t j = start[size_t(k)]; j < start[size_t(k) + 1]; ++j) {
            const Command& c = commands[order[j]];
            if (int64_t(c.block) != current) {
                current = c.block;
                deriveColors(threads[std::min(size_t(current), threads.size() - 1)], colors);
                painter->block(colors);
            }
            painter->draw(Segment(c.kind), c.px, c.py, c.qx, c.qy, c.dimmed != 0, c.selected != 0);
            if ((j & 63) == 63 && cancelled()) return;
        }
    }
}

// A band on its own thread: out of memory for its lists, it is left as it was rather than
// ending the process.
void drawBand(const VDLDesign& design, VDLRect rect, const VDLImageBuffer& image, const VDLImageTransform& t,
              const VDLRasterOptions& options, int top, int bottom) {
    try {
        drawBandRows(design, rect, image, t, options, top, bottom);
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace

bool VDLDrawDesignIntoImage(const VDLDesign& design, VDLRect rect, const VDLImageBuffer& image,
                            const VDLImageTransform& transform, const VDLRasterOptions& options) {
    if (!image.data || image.width <= 0 || image.height <= 0 || image.stride < 4 * image.width) return false;
    // Pixel positions are computed in single precision within a band: keep images to a size
    // where that is exact to well under a 1/256 pixel.
    if (image.width > 32768 || image.height > 32768) return false;
    const VDLImageTransform& t = transform;
    if (!std::isfinite(t.sx) || !std::isfinite(t.sy) || !std::isfinite(t.tx) || !std::isfinite(t.ty) || t.sx == 0 ||
        t.sy == 0)
        return false;
    if (design.stitches().empty() || design.threads().empty()) return true;

    int bands = options.threads;
    if (bands <= 0) {
        const bool large = image.height >= 128 && double(image.width) * image.height >= 256.0 * 256.0 &&
                           design.stitches().size() >= 5000;
        bands = large && std::thread::hardware_concurrency() >= 2 ? 2 : 1;  // asked only when it matters
    }
    bands = std::clamp(bands, 1, std::min(8, image.height));

    // Bands of equal work rather than equal height: the rows are cut where each band holds as
    // many stitch ends as the others (a design seldom fills its image evenly). Every fourth end
    // is counted, its position summed four deltas at a time: the cut only shares out the work
    // (any cut gives the same pixels), and the other threads wait for it.
    std::vector<int> cuts(size_t(bands) + 1, image.height);
    cuts[0] = 0;
    if (bands > 1) {
        std::vector<uint32_t> perRow(size_t(image.height), 0);
        const std::vector<VDLStitch>& stitches = design.stitches();
        double y = 0.0;
        uint64_t total = 0;
        for (size_t i = 0; i + 4 <= stitches.size(); i += 4) {
            y += (double(stitches[i].deltaY) + double(stitches[i + 1].deltaY)) +
                 (double(stitches[i + 2].deltaY) + double(stitches[i + 3].deltaY));
            const double row = t.sy * y + t.ty;
            if (!(row >= 0.0 && row < double(image.height))) continue;
            ++perRow[size_t(row)];
            ++total;
        }
        if (total == 0) std::fill(perRow.begin(), perRow.end(), uint32_t(1)), total = uint64_t(image.height);  // equal heights
        uint64_t sum = 0;
        int b = 1;
        for (int r = 0; r < image.height && b < bands; ++r) {
            sum += perRow[size_t(r)];
            while (b < bands && sum * uint64_t(bands) >= total * uint64_t(b)) cuts[size_t(b++)] = r + 1;
        }
        for (int k = 1; k <= bands; ++k) cuts[size_t(k)] = std::max(cuts[size_t(k)], cuts[size_t(k - 1)]);
    }
    std::vector<std::thread> workers;
    auto bandRows = [&](int b) { return cuts[size_t(b)]; };
    int drawnHere = bands;
    for (int b = 1; b < bands; ++b) {
        try {
            workers.emplace_back(drawBand, std::cref(design), rect, std::cref(image), std::cref(transform),
                                 std::cref(options), bandRows(b), bandRows(b + 1));
        } catch (...) {
            drawnHere = b;  // no more threads: the calling thread draws the rest
            break;
        }
    }
    drawBand(design, rect, image, transform, options, 0, bandRows(1));
    for (int b = drawnHere; b < bands; ++b) drawBand(design, rect, image, transform, options, bandRows(b), bandRows(b + 1));
    for (std::thread& w : workers) w.join();
    return true;
}

bool VDLRasterRenderingEnabled() {
    int v = gRasterEnabled.load(std::memory_order_relaxed);
    if (v < 0) {
        const char* env = std::getenv("VARDELLE_RENDERER");
        v = env && std::strcmp(env, "cairo") == 0 ? 0 : 1;
        gRasterEnabled.store(v, std::memory_order_relaxed);
    }
    return v == 1;
}

void VDLSetRasterRenderingEnabled(bool enabled) { gRasterEnabled.store(enabled ? 1 : 0, std::memory_order_relaxed); }
