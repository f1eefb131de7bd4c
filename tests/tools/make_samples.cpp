// make_samples OUTDIR: builds the bundled sample design, a flower, in code and writes it as
// flower.<ext> through the export dispatch for every writable format.
//
// The flower: a satin stem and two satin leaves, eight filled outer petals and eight smaller
// inner ones, a running-stitch outline around the outer petals, a filled centre and a satin
// ring around it, seven Madeira Rayon threads, jumps between the parts. Every needle position
// is a whole 0.1 mm, so all formats hold it exactly; long jumps are left to the export's
// normalisation. The output is the same on every run (apart from dates some formats carry).
#include "VDLDesign.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct P {
    double x, y;
};

// One part of the design: its needle positions, sewn in order with one thread.
struct Part {
    int thread;
    std::vector<P> points;
};

P rotate(P p, double angle) {
    const double c = std::cos(angle), s = std::sin(angle);
    return {p.x * c - p.y * s, p.x * s + p.y * c};
}

P add(P a, P b) { return {a.x + b.x, a.y + b.y}; }

// Tatami fill of an ellipse with half-axes A (along the rotated x axis) and B, rows along the
// long axis SPACING apart, penetrations at most LEN apart and staggered row to row.
std::vector<P> fillEllipse(P centre, double angle, double a, double b, double spacing, double len) {
    std::vector<P> out;
    // Underlay: a run along the long axis and back, so the fill lies on something.
    for (double u = -0.8 * a; u <= 0.8 * a; u += 30) out.push_back(add(centre, rotate({u, 0}, angle)));
    const int rows = int(2 * b / spacing);
    for (int j = 0; j < rows; ++j) {
        const double v = -b + (j + 0.5) * spacing;
        const double half = a * std::sqrt(std::max(0.0, 1 - (v / b) * (v / b)));
        if (half < 3) continue;
        std::vector<P> row;
        row.push_back({-half, v});
        const double phase = (j % 4) * len / 4;
        for (double u = -half + phase + len; u < half - len / 3; u += len) row.push_back({u, v});
        row.push_back({half, v});
        if (j % 2) std::reverse(row.begin(), row.end());
        for (P p : row) out.push_back(add(centre, rotate(p, angle)));
    }
    return out;
}

// A running stitch around an ellipse, starting and ending at the tip of its long axis.
std::vector<P> outlineEllipse(P centre, double angle, double a, double b, double len) {
    std::vector<P> out;
    const double perimeter = kPi * (3 * (a + b) - std::sqrt((3 * a + b) * (a + 3 * b)));
    const int n = std::max(8, int(perimeter / len));
    for (int k = 0; k <= n; ++k) {
        const double t = 2 * kPi * k / n;
        out.push_back(add(centre, rotate({a * std::cos(t), b * std::sin(t)}, angle)));
    }
    return out;
}

// A satin column along PATH(t), t in 0..1, of width WIDTH(t): needle points alternate left
// and right of the path, SPACING apart along it.
template <class Path, class Width>
std::vector<P> satin(Path path, Width width, double length, double spacing) {
    std::vector<P> out;
    const int n = std::max(2, int(length / spacing));
    for (int k = 0; k <= n; ++k) {
        const double t = double(k) / n;
        const double dt = 1e-3;
        const P a = path(std::max(0.0, t - dt)), b = path(std::min(1.0, t + dt));
        const double dx = b.x - a.x, dy = b.y - a.y, d = std::hypot(dx, dy);
        const P normal = {-dy / d, dx / d};
        const double side = (k % 2 ? 0.5 : -0.5) * width(t);
        const P c = path(t);
        out.push_back({c.x + normal.x * side, c.y + normal.y * side});
    }
    return out;
}

std::vector<Part> flowerParts() {
    std::vector<Part> parts;
    const P flower = {0, 180};  // centre of the blossom; recentred on the origin later

    // Stem: a gentle S from under the blossom down 52 mm, 3 mm wide.
    auto stemPath = [&](double t) { return P{flower.x + 45 * std::sin(t * 2 * kPi) * (1 - t), flower.y - 100 - 420 * t}; };
    parts.push_back({0, satin(stemPath, [](double) { return 30.0; }, 440, 3)});

    // Two leaves growing from the stem, satin across the leaf, widest in the middle.
    for (int side : {-1, 1}) {
        const P base = stemPath(side < 0 ? 0.6 : 0.8);
        const double angle = side < 0 ? kPi * 0.85 : kPi * 0.18;
        auto leafPath = [=](double t) { return add(base, rotate({260 * t, 30 * std::sin(t * kPi)}, angle)); };
        parts.push_back({1, satin(leafPath, [](double t) { return 8 + 90 * std::sin(t * kPi); }, 260, 3)});
    }

    // Outer petals: a fill each, then outlined in one pass of their own; the inner petals
    // then cover the inner ends of the outlines.
    const int petals = 8;
    for (int i = 0; i < petals; ++i) {
        const double angle = 2 * kPi * i / petals + kPi / 2;
        parts.push_back({2, fillEllipse(add(flower, rotate({190, 0}, angle)), angle, 140, 60, 2.8, 16)});
    }
    for (int i = 0; i < petals; ++i) {
        const double angle = 2 * kPi * i / petals + kPi / 2;
        parts.push_back({3, outlineEllipse(add(flower, rotate({190, 0}, angle)), angle, 140, 60, 18)});
    }
    for (int i = 0; i < petals; ++i) {
        const double angle = 2 * kPi * (i + 0.5) / petals + kPi / 2;
        parts.push_back({4, fillEllipse(add(flower, rotate({120, 0}, angle)), angle, 88, 46, 2.8, 16)});
    }

    // Centre: a filled disc and a satin ring around it.
    parts.push_back({5, fillEllipse(flower, kPi / 4, 80, 80, 2.8, 16)});
    auto ringPath = [&](double t) { return add(flower, rotate({90, 0}, 2 * kPi * t)); };
    parts.push_back({6, satin(ringPath, [](double) { return 22.0; }, 2 * kPi * 90, 3.5)});
    return parts;
}

VDLDesign flowerDesign() {
    std::vector<Part> parts = flowerParts();

    // Whole 0.1 mm positions, recentred so the bounds are centred on the origin.
    double xMin = 1e9, xMax = -1e9, yMin = 1e9, yMax = -1e9;
    for (auto& part : parts)
        for (P& p : part.points) {
            p = {std::round(p.x), std::round(p.y)};
            xMin = std::min(xMin, p.x), xMax = std::max(xMax, p.x);
            yMin = std::min(yMin, p.y), yMax = std::max(yMax, p.y);
        }
    const P shift = {-std::round((xMin + xMax) / 2), -std::round((yMin + yMax) / 2)};

    const char* keys[] = {"1251", "1250", "1321", "1236", "1309", "1323", "1259"};  // Madeira Rayon
    VDLDesign d;
    std::vector<VDLStitch> stitches;
    P at = {0, 0};
    int thread = -1;
    for (const Part& part : parts) {
        bool first = true;
        for (P p : part.points) {
            p = add(p, shift);
            const float dx = float(p.x - at.x), dy = float(p.y - at.y);
            if (first) {
                // The move to a part is a jump; when the thread changes it starts the new block.
                const bool change = thread >= 0 && part.thread != thread;
                stitches.emplace_back(dx, dy, true, change);
                first = false;
            } else {
                if (dx == 0 && dy == 0) continue;
                stitches.emplace_back(dx, dy, false, false);
            }
            at = p;
        }
        if (part.thread != thread) d.threads().emplace_back(keys[part.thread], "Madeira Rayon");
        thread = part.thread;
    }
    d.setStitches(std::move(stitches));
    d.setDesignType("DST");
    d.setDesignVersion(10);
    d.recomputeBounds();
    d.setDisplayRange(VDLRange{0, d.stitches().size()});
    return d;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples OUTDIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);

    const VDLDesign flower = flowerDesign();
    std::printf("flower: %zu records, %d stitches, %d jumps, %lld threads, %d x %d (0.1 mm)\n",
                flower.stitches().size(), flower.numberOfStitches(), flower.numberOfJumps(),
                static_cast<long long>(flower.numberOfThreads()), flower.designWidth(), flower.designHeight());

    int status = 0;
    for (const char* ext : {"jef", "pes", "pec", "exp", "dst", "pcs"}) {
        VDLDesign d = flower.copy();
        const std::string name = std::string("flower.") + ext;
        const VDLURL url = VDLURL::fileURLWithPath((dir / name).string());
        d.setDesignLocation(url);
        VDLError error;
        if (d.exportDesignToURL(url, &error)) {
            std::printf("wrote %s\n", name.c_str());
        } else if (error.domain == VDLDesignErrorDomain && error.code == 50) {
            std::printf("skipped %s: its writer is not built yet\n", name.c_str());
        } else {
            std::fprintf(stderr, "make_samples: %s: %s (code %lld)\n", name.c_str(), error.message().c_str(),
                         static_cast<long long>(error.code));
            status = 1;
        }
    }
    return status;
}
