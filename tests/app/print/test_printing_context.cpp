// The QPainter graphics context against the Cairo one: the same drawing through both, compared
// pixel by pixel (premultiplied ARGB). Anti-aliasing differs between the two rasterisers by a
// few levels along edges, so the comparison allows a small per-pixel difference and a small share
// of edge pixels beyond it; a wrong arc direction, a dash in user units vs line widths, an
// extended gradient or a non-zero fill instead of even-odd each change far more than that.
#include "VDLCairoContext.h"
#include "VDLDesign.h"
#include "VDLPainterContext.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

using Drawing = std::function<void(VDLGraphicsContext&)>;

QImage paintWithQt(int w, int h, const Drawing& draw) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    {
        VDLPainterContext ctx(&painter);
        draw(ctx);
    }
    painter.end();
    return image;
}

QImage paintWithCairo(int w, int h, const Drawing& draw) {
    auto ctx = VDLCairoContext::imageContext(w, h);
    draw(*ctx);
    // Cairo's ARGB32 is native-endian premultiplied 32-bit words, the same as Qt's.
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y)
        std::memcpy(image.scanLine(y), ctx->data() + size_t(y) * size_t(ctx->stride()), size_t(w) * 4);
    return image;
}

struct Difference {
    int maxChannel = 0;      // largest channel difference anywhere
    double farShare = 0;     // share of pixels differing by more than the tolerance
    double meanChannel = 0;  // mean channel difference over all pixels
    int painted = 0;         // pixels painted in the Cairo picture
};

Difference compare(const QImage& a, const QImage& b, int tolerance) {
    Difference d;
    long far = 0;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int diffs[4] = {std::abs(qRed(pa[x]) - qRed(pb[x])), std::abs(qGreen(pa[x]) - qGreen(pb[x])),
                                  std::abs(qBlue(pa[x]) - qBlue(pb[x])), std::abs(qAlpha(pa[x]) - qAlpha(pb[x]))};
            const int m = std::max({diffs[0], diffs[1], diffs[2], diffs[3]});
            d.maxChannel = std::max(d.maxChannel, m);
            if (m > tolerance) ++far;
            sum += diffs[0] + diffs[1] + diffs[2] + diffs[3];
            if (qAlpha(pb[x]) > 0) ++d.painted;
        }
    }
    const double n = double(a.width()) * a.height();
    d.farShare = far / n;
    d.meanChannel = sum / (4 * n);
    return d;
}

VDLDesign flower() {
    VDLDesign design;
    EXPECT_TRUE(design.importDesignFromURL(VDLURL::fileURLWithPath(VARDELLE_SOURCE_DIR "/resources/samples/flower.pes")));
    return design;
}

// The design fitted into a W x H picture, Y up, as the print view and the canvas draw it.
Drawing designDrawing(const VDLDesign& design, int w, int h, bool show3D, bool jumps, bool structure) {
    return [&design, w, h, show3D, jumps, structure](VDLGraphicsContext& ctx) {
        ctx.setFillColor({1, 1, 1, 1});
        ctx.fillRect(0, 0, w, h);
        const double dw = design.designWidth() + 20, dh = design.designHeight() + 20;
        const double f = std::min(w / dw, h / dh);
        ctx.flipVertically(h);
        ctx.scale(f, f);
        ctx.translate(-(design.xMin() - 10), -(design.yMin() - 10));
        design.drawDesignInRect(VDLMakeRect(design.xMin(), design.yMin(), design.designWidth(), design.designHeight()),
                                ctx, show3D, jumps, structure);
    };
}

}  // namespace

// The bundled sample through the library renderer, in every drawing mode: shaded tubes (capsule
// arcs, gradients inside clips), flat lines, dashed jumps, needle-point squares, a selection.
TEST(PainterContext, RendersTheDesignLikeCairo) {
    VDLDesign design = flower();
    ASSERT_GT(design.stitches().size(), 100u);
    struct Mode {
        bool show3D, jumps, structure, selection;
    };
    for (const Mode m : {Mode{true, true, false, false}, Mode{false, true, false, false}, Mode{false, true, true, false},
                         Mode{true, false, false, true}}) {
        SCOPED_TRACE(testing::Message() << "3D " << m.show3D << " jumps " << m.jumps << " structure " << m.structure
                                        << " selection " << m.selection);
        VDLDesign d = design;
        if (m.selection) {
            d.setSelectionActive(true);
            for (size_t i = 0; i < d.stitches().size(); i += 3) d.stitches()[i].isSelected = true;
        }
        const Drawing draw = designDrawing(d, 480, 400, m.show3D, m.jumps, m.structure);
        const QImage qt = paintWithQt(480, 400, draw);
        const QImage cairo = paintWithCairo(480, 400, draw);
        const Difference diff = compare(qt, cairo, 48);
        EXPECT_LT(diff.farShare, 0.03) << "max " << diff.maxChannel;
        EXPECT_LT(diff.meanChannel, 4.0);
    }
}

// The primitives the renderer leans on, each in a picture of its own where a mistake would show.
TEST(PainterContext, PrimitivesMatchCairo) {
    const std::vector<std::pair<const char*, Drawing>> cases = {
        {"clockwise and counter-clockwise arcs in a Y-up space",
         [](VDLGraphicsContext& c) {
             c.flipVertically(100);
             c.setFillColor({0.9, 0.1, 0.1, 1});
             c.beginPath();
             c.moveTo(50, 50);
             c.addArc(50, 50, 30, 0, 1.571, false);  // the quarter towards +Y: upper right on paper
             c.closePath();
             c.fillPath();
             c.setFillColor({0.1, 0.1, 0.9, 1});
             c.beginPath();
             c.moveTo(50, 50);
             c.addArc(50, 50, 30, 3.1416, 1.571, true);  // upper left, travelled clockwise
             c.closePath();
             c.fillPath();
             c.setStrokeColor({0, 0.6, 0, 1});
             c.setLineWidth(3);
             c.beginPath();
             c.addArc(50, 50, 40, 4.0, 1.0, false);  // wraps through a full turn
             c.strokePath();
         }},
        {"even-odd and non-zero fills of nested rectangles",
         [](VDLGraphicsContext& c) {
             c.setFillColor({0.2, 0.5, 0.7, 1});
             c.beginPath();
             c.addRect(5, 5, 40, 90);
             c.addRect(15, 15, 20, 70);
             c.eoFillPath();
             c.beginPath();
             c.addRect(55, 5, 40, 90);
             c.addRect(65, 15, 20, 70);
             c.fillPath();
         }},
        {"dashes in user units under a scale, round caps",
         [](VDLGraphicsContext& c) {
             c.scale(4, 4);
             c.setLineCap(VDLLineCap::Round);
             c.setLineWidth(1.75);
             c.setLineDash(0, {2, 3});
             c.setStrokeColor({0.3, 0.3, 0.3, 1});
             c.beginPath();
             c.moveTo(2, 5);
             c.lineTo(23, 5);
             c.strokePath();
             c.setLineDash(1, {4});
             c.beginPath();
             c.moveTo(2, 15);
             c.lineTo(23, 15);
             c.strokePath();
             c.setLineDash(0, {});
             c.beginPath();
             c.moveTo(2, 22);
             c.lineTo(23, 22);
             c.strokePath();
         }},
        {"a gradient inside a clip paints nothing beyond its ends",
         [](VDLGraphicsContext& c) {
             c.saveGState();
             c.beginPath();
             c.addRect(10, 10, 80, 80);
             c.clip();
             c.beginPath();
             c.addArc(50, 50, 45, 0, 6.2832, false);
             c.clip();
             c.drawLinearGradient({{0, {0.6, 0, 0, 1}}, {0.4, {1, 0.8, 0.8, 1}}, {1, {0.6, 0, 0, 1}}}, 30, 40, 70, 60);
             c.restoreGState();
             // The clip is gone after the restore.
             c.setFillColor({0, 0, 0, 0.5});
             c.fillRect(0, 0, 8, 8);
         }},
        {"colour components out of range are clamped",
         [](VDLGraphicsContext& c) {
             c.setFillColor({-0.2, 1.2, 0.5, 1});
             c.fillRect(10, 10, 80, 30);
             c.setStrokeColor({1.3, -1, 0.2, 0.1});
             c.setLineWidth(10);
             c.strokeRect(20, 50, 60, 30);
         }},
    };
    for (const auto& [name, draw] : cases) {
        SCOPED_TRACE(name);
        const QImage qt = paintWithQt(100, 100, draw);
        const QImage cairo = paintWithCairo(100, 100, draw);
        const Difference diff = compare(qt, cairo, 64);
        EXPECT_GT(diff.painted, 100);
        EXPECT_LT(diff.farShare, 0.02) << "max " << diff.maxChannel;
    }

    // A gradient with nothing beyond its ends: outside the band between them stays clear.
    const QImage band = paintWithQt(100, 100, [](VDLGraphicsContext& c) {
        c.drawLinearGradient({{0, {1, 0, 0, 1}}, {1, {0, 0, 1, 1}}}, 40, 0, 60, 0);
    });
    EXPECT_EQ(qAlpha(band.pixel(20, 50)), 0);
    EXPECT_EQ(qAlpha(band.pixel(80, 50)), 0);
    EXPECT_EQ(qAlpha(band.pixel(50, 50)), 255);
}

// Text: a family that is not installed falls back to a sans-serif face instead of drawing
// nothing; the width reported is the width drawn; text stays upright in a Y-up space.
TEST(PainterContext, TextWithFallbackStaysUpright) {
    double width = 0;
    const QImage down = paintWithQt(200, 60, [&](VDLGraphicsContext& c) {
        c.selectFont("Lucida Grande", 20, true);
        width = c.textWidth("Vardelle");
        c.showText(10, 40, "Vardelle");
    });
    EXPECT_GT(width, 60);
    EXPECT_LT(width, 140);
    QRect inked;
    for (int y = 0; y < down.height(); ++y)
        for (int x = 0; x < down.width(); ++x)
            if (qAlpha(down.pixel(x, y)) > 128) inked |= QRect(x, y, 1, 1);
    ASSERT_FALSE(inked.isEmpty());
    EXPECT_NEAR(inked.width(), width, 6);
    EXPECT_LE(inked.bottom(), 41);  // the baseline is at 40; nothing of "Vardelle" descends
    EXPECT_GE(inked.top(), 20);

    // The same text in a flipped space lands upright: mirror of the page rows, same shapes.
    const QImage up = paintWithQt(200, 60, [&](VDLGraphicsContext& c) {
        c.flipVertically(60);
        c.selectFont("Lucida Grande", 20, true);
        c.showText(10, 20, "Vardelle");
    });
    const Difference diff = compare(up, down, 64);
    EXPECT_LT(diff.farShare, 0.01);
}
