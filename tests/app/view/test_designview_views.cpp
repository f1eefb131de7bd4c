// The canvas's pictures of a large design while the user zooms, scrolls and moves the player:
// once settled, what the window shows is the library's direct drawing of that view; changes made
// while a drawing runs end on the last view; a zoom out shows the overview at once; the
// player's jumps backwards start from a checkpoint; the pictures stay within their bound.
#include "DesignWindow.h"
#include "TestSupport.h"
#include "VDLCanvasRenderer.h"
#include "VDLDefaults.h"
#include "VDLDesignView.h"
#include "VDLScrollView.h"

#include <QPainter>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>

namespace {

#ifdef __SANITIZE_ADDRESS__
constexpr int kShrink = 4;  // unoptimised and instrumented: fewer stitches, the same paths
#else
constexpr int kShrink = 1;
#endif

// Rows back and forth in BLOCKS colour blocks over about W x H units, with a jump into each
// block and a few long stitches that cross far beyond their ends.
VDLDesign rows(int count, float w, float h, int blocks) {
    std::vector<VDLStitch> s;
    s.reserve(size_t(count));
    const int perRow = 40;
    const int rowsPerBlock = std::max(1, count / blocks / perRow);
    const float step = w / perRow, rise = h / float(rowsPerBlock);
    float dir = 1;
    for (int i = 0; i < count; ++i) {
        const bool change = i > 0 && i % (count / blocks) == 0;
        if (change) {
            s.emplace_back(0.0f, -h + 3.0f, true, true);  // back down for the next block, shifted
            continue;
        }
        if (i % perRow == perRow - 1) {
            s.emplace_back(0.0f, rise, false, false);
            dir = -dir;
        } else if (i % 997 == 0) {
            s.emplace_back(dir * 140.0f, 2.0f, false, false);  // a long stitch
            s.emplace_back(-dir * 140.0f + dir * step, -2.0f, false, false);
            ++i;
        } else {
            s.emplace_back(dir * step, (i % 2) ? 1.5f : -1.5f, false, false);
        }
    }
    return makeDesign(s);
}

// No grid and no hoop behind the design while the window lives (set before it is drawn).
struct DesignOnly {
    DesignOnly() {
        VDLDefaults::standard().setValue("ShowGrid", false);
        VDLDefaults::standard().setValue("ShowHoop", false);
    }
    ~DesignOnly() {
        VDLDefaults::standard().removeValue("ShowGrid");
        VDLDefaults::standard().removeValue("ShowHoop");
    }
};

struct Window : DesignOnly, DesignWindow {
    explicit Window(VDLDesign d) : DesignWindow(std::move(d), QSize(700, 500)) {}
    // What the window shows of the canvas now.
    QImage shown() {
        const QRect visible = scroll.visibleRect().toAlignedRect();
        QImage image(visible.size(), QImage::Format_ARGB32_Premultiplied);
        view->render(&image, QPoint(), QRegion(visible));
        return image;
    }
    // The library's own drawing of the view the canvas settled on (the same area and scale),
    // placed where the canvas maps it, over the background.
    QImage direct() {
        const QRect visible = scroll.visibleRect().toAlignedRect();
        const VDLRect rect = view->cachedRect();
        const double ppu = view->pixelsPerUnit();
        QImage drawing(QSize(int(std::lround(rect.size.width * ppu)), int(std::lround(rect.size.height * ppu))),
                       QImage::Format_ARGB32_Premultiplied);
        drawing.fill(Qt::transparent);
        VDLCanvasRenderer::render(design, drawing, rect, ppu, true, true, false);
        QImage image(visible.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(VDLCanvasSettings::screen().background);
        QPainter p(&image);
        const QPointF at = view->widgetPointAt(VDLPoint{rect.minX(), rect.maxY()}) - QPointF(visible.topLeft());
        p.drawImage(QPoint(int(std::lround(at.x())), int(std::lround(at.y()))), drawing);
        return image;
    }
    // Settled on the view asked for last: the exact picture at this scale covers the window.
    ::testing::AssertionResult settledExactly() {
        if (!view->waitForIdle(120000)) return ::testing::AssertionFailure() << "never settled";
        if (view->cachedPixelsPerUnit() != view->pixelsPerUnit())
            return ::testing::AssertionFailure() << "picture at " << view->cachedPixelsPerUnit() << " px/unit, view at "
                                                 << view->pixelsPerUnit();
        const QImage a = shown(), b = direct();
        int differing = 0;
        for (int y = 0; y < a.height(); ++y)
            differing += std::memcmp(a.constScanLine(y), b.constScanLine(y), size_t(a.width()) * 4) != 0;
        if (differing) return ::testing::AssertionFailure() << differing << " rows differ from the direct drawing";
        return ::testing::AssertionSuccess();
    }
};

}  // namespace

// At several zooms and places (the middle, the corners, past the design's edge) the settled
// window is the direct drawing of its view.
TEST(CanvasViews, SettledPictureIsTheDirectDrawingAtEveryZoomAndPlace) {
    Window w(rows(60000 / kShrink, 1500, 900, 6));
    const VDLDesign& d = w.design;
    const VDLPoint places[] = {{(d.xMin() + d.xMax()) / 2, (d.yMin() + d.yMax()) / 2},
                               {d.xMin(), d.yMax()},
                               {d.xMax(), d.yMin()},
                               {d.xMax() + 300, d.yMax() + 300}};
    EXPECT_TRUE(w.settledExactly()) << "after opening";
    for (const float scale : {1.0f, 2.5f, 7.0f, 15.0f})
        for (const VDLPoint& p : places) {
            w.view->setScale(scale);
            w.view->scrollPointToCentre(p);
            EXPECT_TRUE(w.settledExactly()) << "scale " << scale << " at " << p.x << ", " << p.y;
        }
}

// Zooms and scrolls while the drawing of an earlier view still runs: the window settles on the
// last view, exactly, never on a picture of an earlier scale or place.
TEST(CanvasViews, ChangesDuringADrawingSettleOnTheLastView) {
    Window w(rows(150000 / kShrink, 2000, 1200, 8));
    const VDLDesign& d = w.design;
    ASSERT_TRUE(w.view->waitForIdle(120000));
    std::mt19937 random(7);
    for (int round = 0; round < 4; ++round) {
        for (int k = 0; k < 6; ++k) {
            w.view->setScale(std::uniform_real_distribution<float>(0.5f, 15.0f)(random));
            w.view->scrollPointToCentre(VDLPoint{std::uniform_real_distribution<double>(d.xMin(), d.xMax())(random),
                                                 std::uniform_real_distribution<double>(d.yMin(), d.yMax())(random)});
            w.view->repaint();  // asks for the drawing of this view
            QTest::qWait(int(random() % 15));
        }
        EXPECT_TRUE(w.settledExactly()) << "round " << round;
    }
}

// Zooming out from deep in: the very next paint covers the whole window at the new scale (the
// overview, scaled), before the exact picture is drawn.
TEST(CanvasViews, ZoomingOutShowsTheOverviewAtOnce) {
    Window w(rows(60000 / kShrink, 1500, 900, 6));
    ASSERT_TRUE(w.view->waitForIdle(120000));
    ASSERT_FALSE(w.view->overviewImage().isNull());
    w.view->setScale(15.0f);
    w.view->centerDesign();
    ASSERT_TRUE(w.view->waitForIdle(120000));
    w.view->setScale(1.0f);
    w.view->centerDesign();
    EXPECT_TRUE(w.view->coversVisibleAreaAtScale());
    // The design is there across the window, not only where the deep picture was.
    const QImage first = w.shown();
    const QColor background = VDLCanvasSettings::screen().background;
    int designPixels = 0;
    for (int y = 0; y < first.height(); y += 4)
        for (int x = 0; x < first.width(); x += 4) designPixels += first.pixelColor(x, y) != background;
    EXPECT_GT(designPixels, first.width() * first.height() / 16 / 4);
    EXPECT_TRUE(w.settledExactly());
}

// The player went through the design once: a jump backwards draws on from the nearest
// checkpoint (not from the first stitch), and gives the picture a full drawing gives.
TEST(CanvasViews, PlayerJumpsBackFromTheNearestCheckpoint) {
    Window w(rows(100000 / kShrink, 1500, 900, 6));
    ASSERT_TRUE(w.view->waitForIdle(120000));
    w.view->setAnimationProgress(0.02);
    ASSERT_TRUE(w.view->waitForRender(120000));
    w.view->setAnimationProgress(0.98);
    ASSERT_TRUE(w.view->waitForRender(120000));
    EXPECT_GE(w.view->checkpointCount(), 4);
    const int full = w.view->fullRenderCount();
    for (const double progress : {0.4, 0.73, 0.27, 0.55}) {
        w.view->setAnimationProgress(progress);
        ASSERT_TRUE(w.view->waitForRender(120000));
        EXPECT_EQ(w.view->fullRenderCount(), full) << progress << " checkpoints " << w.view->checkpointCount();
        // The whole drawing of this position, from the first stitch.
        QImage drawn(w.view->cachedImage().size(), QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::transparent);
        VDLCanvasRenderer::render(w.design, drawn, w.view->cachedRect(), w.view->cachedPixelsPerUnit(), true, true, false);
        EXPECT_EQ(drawn, w.view->cachedImage()) << progress;
    }
}

// Two hundred random zooms, scrolls and player positions: the pictures the canvas keeps never
// exceed their stated bound.
TEST(CanvasViews, PicturesStayWithinTheirBound) {
    Window w(rows(60000 / kShrink, 1500, 900, 6));
    const VDLDesign& d = w.design;
    const qint64 bound = VDLDesignView::cacheByteLimit(w.scroll.viewport()->size());
    std::mt19937 random(11);
    qint64 most = 0;
    for (int k = 0; k < 200; ++k) {
        switch (random() % 4) {
        case 0: w.view->setScale(std::uniform_real_distribution<float>(0.1f, 15.0f)(random)); break;
        case 1:
            w.view->scrollPointToCentre(VDLPoint{std::uniform_real_distribution<double>(d.xMin(), d.xMax())(random),
                                                 std::uniform_real_distribution<double>(d.yMin(), d.yMax())(random)});
            break;
        case 2: w.view->setAnimationProgress(std::uniform_real_distribution<double>(0, 1)(random)); break;
        default: w.view->stopAnimation(); break;
        }
        w.view->repaint();
        QTest::qWait(int(random() % 20));
        most = std::max(most, w.view->cacheBytes());
        ASSERT_LE(w.view->cacheBytes(), bound) << "step " << k;
    }
    std::printf("pictures held at most %.1f MB (bound %.1f MB)\n", double(most) / 1e6, double(bound) / 1e6);
}
