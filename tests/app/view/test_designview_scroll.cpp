// The canvas in its scroll view on screen: zoom limits and fitting, rulers, centring, and the
// cached image drawn off the UI thread (incremental playback, a million stitches).
#include "DesignWindow.h"
#include "TestSupport.h"
#include "VDLCanvasRenderer.h"
#include "VDLDefaults.h"
#include "VDLDesignView.h"
#include "VDLNotificationCenter.h"
#include "VDLRasterRenderer.h"
#include "VDLScrollView.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <thread>
#include <cstdio>
#include <ctime>

namespace {

// Zigzag rows in several colour blocks, about W x H units.
VDLDesign zigzag(int count, float w, float h, int blocks) {
    std::vector<VDLStitch> s;
    s.reserve(size_t(count));
    const int rows = std::max(1, int(h / 4));
    const int perRow = std::max(2, count / rows);
    const float step = w / float(perRow);
    float dir = 1;
    for (int i = 0; i < count; ++i) {
        const bool change = i > 0 && i % std::max(1, count / blocks) == 0;
        if (i % perRow == perRow - 1) {
            s.emplace_back(0.0f, 4.0f, false, change);
            dir = -dir;
        } else {
            s.emplace_back(dir * step, (i % 2) ? 3.0f : -3.0f, false, change);
        }
    }
    return makeDesign(s);
}

struct Window : DesignWindow {
    using DesignWindow::DesignWindow;
    QPointF visibleCentre() const {  // in the canvas' pixels
        return QRectF(QPointF(-view->pos()), QSizeF(scroll.viewport()->size())).center();
    }
};

double threadMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

int differingPixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return -1;
    int n = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* pa = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* pb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            if (pa[x] != pb[x]) ++n;
    }
    return n;
}

}  // namespace

// Scale 1 fits the design rectangle into the visible area, centred; the limits are 0.1 and 15;
// zooming keeps the point in the middle where it was.
TEST(ScrollView, ZoomFitsClampsAndKeepsTheCentre) {
    Window w(zigzag(2000, 600, 400, 3));
    VDLDesignView* v = w.view;
    EXPECT_NEAR(v->scale(), 1.0, 1e-3);
    const VDLRect dr = v->designRect();
    const QSize vp = w.scroll.viewport()->size();
    EXPECT_NEAR(std::max(dr.size.width * v->pixelsPerUnit() / vp.width(), dr.size.height * v->pixelsPerUnit() / vp.height()),
                1.0, 1e-3);
    const QPointF mid = v->widgetPointAt({dr.minX() + dr.size.width / 2, dr.minY() + dr.size.height / 2});
    EXPECT_NEAR(mid.x(), w.visibleCentre().x(), 1.0);
    EXPECT_NEAR(mid.y(), w.visibleCentre().y(), 1.0);

    v->scrollPointToCentre({150, -80});
    v->setScale(2.5f);
    EXPECT_NEAR(v->scale(), 2.5, 1e-3);
    EXPECT_NEAR(v->centredPointInDocView().x, 150, 1.0);
    EXPECT_NEAR(v->centredPointInDocView().y, -80, 1.0);

    // Resizing the window keeps the zoom relative to the window and the point in the middle.
    w.scroll.resize(1300, 700);
    EXPECT_NEAR(v->scale(), 2.5, 1e-3);
    EXPECT_NEAR(v->centredPointInDocView().x, 150, 1.0);
    EXPECT_NEAR(v->centredPointInDocView().y, -80, 1.0);

    v->setScale(0.05f);
    EXPECT_NEAR(v->scale(), 0.1, 1e-4);
    v->setScale(20.0f);
    EXPECT_NEAR(v->scale(), 15.0, 1e-3);
    EXPECT_EQ(v->minimumScale(), 0.1f);
    EXPECT_EQ(v->maximumScale(), 15.0f);
}

// Ruler zero lies at the design origin wherever the canvas is scrolled; values read in the
// ruler's unit; the rulers follow the notifications and the mouse.
TEST(ScrollView, RulersMeasureFromTheDesignOrigin) {
    Window w(zigzag(2000, 600, 400, 3));
    VDLDesignView* v = w.view;
    VDLRulerView* h = w.scroll.horizontalRulerView();
    VDLRulerView* r = w.scroll.verticalRulerView();
    ASSERT_TRUE(w.scroll.rulersVisible());
    EXPECT_TRUE(h->isVisible());
    EXPECT_EQ(h->unitAbbreviation(), "mm");

    for (int scroll : {0, 137, -260}) {
        w.scroll.horizontalScrollBar()->setValue(w.scroll.horizontalScrollBar()->value() + scroll);
        w.scroll.verticalScrollBar()->setValue(w.scroll.verticalScrollBar()->value() - scroll);
        const QPointF origin = v->mapTo(&w.scroll, v->widgetPointAt({0, 0}));
        EXPECT_NEAR(h->mapTo(&w.scroll, QPointF(h->pixelForValue(0), 0)).x(), origin.x(), 0.01);
        EXPECT_NEAR(r->mapTo(&w.scroll, QPointF(0, r->pixelForValue(0))).y(), origin.y(), 0.01);
        // 100 units right of and above the origin read 10 mm on the rulers.
        const QPointF p = v->mapTo(&w.scroll, v->widgetPointAt({100, 100}));
        EXPECT_NEAR(h->valueAt(h->mapFrom(&w.scroll, p).x()), 10.0, 1e-6);
        EXPECT_NEAR(r->valueAt(r->mapFrom(&w.scroll, p).y()), 10.0, 1e-6);
    }
    h->setMeasurementUnit(1);
    EXPECT_EQ(h->unitName(), "Inches");
    EXPECT_NEAR(h->valueAt(h->mapFrom(&w.scroll, v->mapTo(&w.scroll, v->widgetPointAt({254, 0}))).x()), 1.0, 1e-6);
    h->setMeasurementUnit(0);

    w.scroll.mouseMoved(QPointF(300, 200));
    EXPECT_EQ(h->rulerLine(), h->mapFrom(&w.scroll, QPointF(300, 200)).x());
    EXPECT_EQ(r->rulerLine(), r->mapFrom(&w.scroll, QPointF(300, 200)).y());

    const float scale = v->scale();
    VDLNotificationCenter::defaultCenter().post("VardelleHideRulers");
    EXPECT_FALSE(w.scroll.rulersVisible());
    EXPECT_FALSE(h->isVisible());
    EXPECT_EQ(w.scroll.viewport()->geometry().topLeft(), QPoint(0, 0));
    EXPECT_NEAR(v->scale(), scale, 1e-3);  // re-fitted to the larger area
    VDLNotificationCenter::defaultCenter().post("VardelleShowRulers");
    EXPECT_TRUE(h->isVisible());
    EXPECT_EQ(w.scroll.viewport()->geometry().topLeft(), QPoint(VDLRulerView::kThickness, VDLRulerView::kThickness));
}

TEST(ScrollView, SmallCanvasStaysCentred) {
    Window w(zigzag(500, 3000, 2000, 1));
    w.view->setScale(0.1f);
    ASSERT_LT(w.view->width(), w.scroll.viewport()->width());
    for (QSize size : {QSize(1000, 800), QSize(1300, 900), QSize(900, 700)}) {
        w.scroll.resize(size);
        QApplication::processEvents();
        const QRect vp = w.scroll.viewport()->rect();
        EXPECT_NEAR(w.view->geometry().center().x(), vp.center().x(), 1);
        EXPECT_NEAR(w.view->geometry().center().y(), vp.center().y(), 1);
    }
}

// What the window shows: the archived background colour, the design on it, the area outside
// the hoop shaded.
TEST(ScrollView, DrawsBackgroundDesignAndHoopShading) {
    auto& defaults = VDLDefaults::standard();
    defaults.setValue("ShowGrid", false);
    defaults.setValue("BackgroundColor",
                      QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
                                 "<key>r</key><real>0</real><key>g</key><real>0</real><key>b</key><real>1</real>"
                                 "</dict></plist>"));
    VDLDesign d = zigzag(2000, 600, 400, 2);
    d.setDesignHoop(VDLHoop("100 x 100", "Janome", 1, 100, 100, false, false, true));
    Window w(std::move(d));
    w.view->setScale(0.3f);
    w.view->scrollPointToCentre({0, 0});
    ASSERT_TRUE(w.view->waitForRender());
    const QRect visible = w.scroll.visibleRect().toAlignedRect();
    const QImage shot = w.view->grab(visible).toImage();
    auto at = [&](VDLPoint p) { return shot.pixelColor((w.view->widgetPointAt(p) - visible.topLeft()).toPoint()); };
    EXPECT_EQ(at({-300, -300}), QColor(0, 0, 255));      // inside the hoop: the background
    const QColor shaded = at({-600, -300});              // outside: grey 0.35 at 15 % over it
    EXPECT_NEAR(shaded.red(), 13, 2);
    EXPECT_NEAR(shaded.blue(), 230, 2);
    // The design covers the background: black first block at the bottom, red second above it.
    EXPECT_LT(at({300, 0}).blue(), 60);
    EXPECT_GT(at({300, w.design.yMax() - 5}).red(), 150);

    // Scrolling within the margin (drawn once the view stays put) only moves the image;
    // further out draws again.
    w.view->setScale(3.0f);
    ASSERT_TRUE(w.view->waitForIdle());
    const int renders = w.view->fullRenderCount();
    QScrollBar* bar = w.scroll.horizontalScrollBar();
    bar->setValue(bar->value() + 100);
    ASSERT_TRUE(w.view->waitForRender());
    EXPECT_EQ(w.view->fullRenderCount(), renders);
    bar->setValue(bar->value() + 2000);
    ASSERT_TRUE(w.view->waitForRender());
    EXPECT_EQ(w.view->fullRenderCount(), renders + 1);
    defaults.removeValue("ShowGrid");
    defaults.removeValue("BackgroundColor");
}

// Playback ticks draw only the new stitches on top of the cached image, and the result is the
// image a full redraw gives.
TEST(ScrollView, PlaybackDrawsIncrementallyLikeAFullRedraw) {
    Window w(zigzag(3000, 600, 400, 4));
    VDLDesignView* v = w.view;
    ASSERT_TRUE(v->waitForRender());
    v->setAnimationProgress(0.3);
    ASSERT_TRUE(v->waitForRender());
    const int incremental = v->incrementalRenderCount();
    const int full = v->fullRenderCount();
    for (int i = 0; i < 4; ++i) {
        v->nextAnimationStep();
        ASSERT_TRUE(v->waitForRender());
    }
    EXPECT_EQ(v->incrementalRenderCount(), incremental + 4);
    EXPECT_EQ(v->fullRenderCount(), full);
    const QImage stepped = v->cachedImage();
    v->redraw();
    ASSERT_TRUE(v->waitForRender());
    EXPECT_EQ(v->fullRenderCount(), full + 1);
    EXPECT_EQ(differingPixels(stepped, v->cachedImage()), 0);
}

// A million stitches: the paint returns at once with the last image while the worker draws.
TEST(ScrollView, MillionStitchesDoNotBlockTheUi) {
    VDLDefaults::standard().setValue("DrawFastMode", true);  // keeps the sanitizer build quick
    Window w(zigzag(200, 600, 400, 2));
    ASSERT_TRUE(w.view->waitForRender());
    VDLDesign big = zigzag(1000000, 2000, 1500, 12);
    // Time spent on the UI thread itself (the machine may be busy with other work).
    double t0 = threadMilliseconds();
    w.view->setDesign(&big);
    const double set = threadMilliseconds() - t0;
    w.view->repaint();
    std::printf("set design %.1f ms, first paint %.1f ms (UI thread)\n", set, threadMilliseconds() - t0 - set);
    const double first = threadMilliseconds() - t0;
    EXPECT_TRUE(w.view->isRenderPending());
    t0 = threadMilliseconds();
    w.scroll.horizontalScrollBar()->setValue(w.scroll.horizontalScrollBar()->value() + 40);
    w.view->repaint();
    const double second = threadMilliseconds() - t0;
#ifdef __SANITIZE_ADDRESS__
    const double slowdown = 4;  // unoptimised and instrumented
#else
    const double slowdown = 1;
#endif
    EXPECT_LT(first, 100 * slowdown) << "set design + first paint";
    EXPECT_LT(second, 50 * slowdown) << "paint while the worker draws";
    QElapsedTimer t;
    // A newer request stops the running one: the worker is free again at once.
    w.view->setScale(2.0f);
    w.view->repaint();
    VDLDesign small = zigzag(300, 600, 400, 2);
    w.view->setDesign(&small);
    t.restart();
    EXPECT_TRUE(w.view->waitForRender(60000));
    EXPECT_LT(t.elapsed(), 5000) << "the million-stitch drawing was not abandoned";
    VDLDefaults::standard().removeValue("DrawFastMode");
}

// The canvas's cached image is drawn straight into its pixels, as Cairo would draw it (within
// the limits the library's own comparison holds, 1.0 of 255 per channel on average), and a
// drawing superseded by a newer one stops: nothing drawn when it is superseded before it starts,
// an incomplete image when superseded under way.
TEST(CanvasRenderer, DrawsThePixelPathsPictureAndStopsWhenSuperseded) {
    const VDLDesign design = zigzag(30000, 600.0f, 400.0f, 5);
    const VDLRect rect = VDLMakeRect(design.xMin() - 10, design.yMin() - 10, design.designWidth() + 20,
                                     design.designHeight() + 20);
    const double ppu = 900.0 / rect.size.width;
    const QSize size(900, int(std::ceil(rect.size.height * ppu)));
    auto draw = [&](bool raster, bool show3D, const std::function<bool()>& cancelled = {}) {
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        VDLSetRasterRenderingEnabled(raster);
        const bool complete = VDLCanvasRenderer::render(design, image, rect, ppu, show3D, false, false, cancelled);
        VDLSetRasterRenderingEnabled(true);
        return std::make_pair(complete, image);
    };
    QImage white(size, QImage::Format_ARGB32_Premultiplied);
    white.fill(Qt::white);
    for (const bool show3D : {false, true}) {
        const auto [fast, pixels] = draw(true, show3D);
        const auto [reference, cairo] = draw(false, show3D);
        ASSERT_TRUE(fast && reference);
        double sum = 0;
        for (int y = 0; y < size.height(); ++y) {
            const auto* a = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
            const auto* b = reinterpret_cast<const QRgb*>(cairo.constScanLine(y));
            for (int x = 0; x < size.width(); ++x)
                sum += std::abs(qRed(a[x]) - qRed(b[x])) + std::abs(qGreen(a[x]) - qGreen(b[x])) +
                       std::abs(qBlue(a[x]) - qBlue(b[x]));
        }
        EXPECT_LE(sum / (3.0 * size.width() * size.height()), 1.0) << (show3D ? "3D" : "flat");
        EXPECT_GT(differingPixels(pixels, white), 10000);
        // Drawn by the pixel path indeed: its edge pixels are a few levels off Cairo's.
        EXPECT_GT(differingPixels(pixels, cairo), 0);
    }
    const auto [stoppedAtOnce, untouched] = draw(true, false, [] { return true; });
    EXPECT_FALSE(stoppedAtOnce);
    EXPECT_EQ(differingPixels(untouched, white), 0);
    int asked = 0;
    const auto [stoppedUnderWay, part] = draw(true, false, [&] { return ++asked > 3; });
    EXPECT_FALSE(stoppedUnderWay);
    EXPECT_GT(asked, 3);
}

// However many canvases draw at once, they share one pool of threads, no more than the
// machine's cores; every canvas still gets exactly the picture it asked for last, and a canvas
// closed while its drawing runs goes at once.
TEST(CanvasRenderer, ManyCanvasesDrawOnOneSharedPool) {
    auto threadCount = [] { return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size()); };
    const int before = threadCount();
    const int pool = VDLCanvasRenderer::poolThreadCount();
    EXPECT_GE(pool, 1);
    EXPECT_LE(pool, int(std::max(1u, std::thread::hardware_concurrency())));

    const int canvases = 3 * pool + 8;
    std::vector<std::unique_ptr<VDLCanvasRenderer>> renderers;
    std::vector<QImage> results(static_cast<size_t>(canvases));
    std::vector<quint64> serials(static_cast<size_t>(canvases), 0);
    std::vector<VDLDesign> designs;
    for (int i = 0; i < canvases; ++i) designs.push_back(zigzag(4000 + 500 * i, 300.0f, 200.0f, 1 + i % 4));
    const QSize size(160, 120);
    auto jobFor = [&](int i, quint64 serial) {
        VDLCanvasJob job;
        job.serial = serial;
        job.design = std::make_shared<VDLDesign>(designs[size_t(i)]);
        job.range = VDLRange{0, designs[size_t(i)].stitches().size()};
        job.rect = VDLMakeRect(designs[size_t(i)].xMin() - 5, designs[size_t(i)].yMin() - 5, 320, 240);
        job.ppu = 0.5;
        job.size = size;
        return job;
    };
    for (int i = 0; i < canvases; ++i) {
        renderers.push_back(std::make_unique<VDLCanvasRenderer>());
        QObject::connect(renderers.back().get(), &VDLCanvasRenderer::finished,
                         [&, i](quint64 serial, QImage image, VDLRect, double, quint64, VDLRange) {
                             serials[size_t(i)] = serial;
                             results[size_t(i)] = image;
                         });
        // An older drawing first, superseded at once by the one wanted.
        VDLCanvasJob old = jobFor((i + 1) % canvases, 1);
        renderers.back()->request(std::move(old));
        renderers.back()->request(jobFor(i, 2));
    }
    EXPECT_LE(threadCount() - before, pool);
    QElapsedTimer clock;
    clock.start();
    while (std::any_of(renderers.begin(), renderers.end(), [](auto& r) { return r->busy(); }) && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
    for (int i = 0; i < canvases; ++i) {
        ASSERT_EQ(serials[size_t(i)], 2u) << i;
        QImage expected(size, QImage::Format_ARGB32_Premultiplied);
        expected.fill(Qt::transparent);
        VDLCanvasJob job = jobFor(i, 2);
        ASSERT_TRUE(VDLCanvasRenderer::render(*job.design, expected, job.rect, job.ppu, false, true, false));
        EXPECT_EQ(results[size_t(i)], expected) << i;
    }

    // A canvas closed while a big drawing runs: gone at once, the others unharmed.
    const VDLDesign big = zigzag(2000000, 600.0f, 400.0f, 3);
    VDLCanvasJob job = jobFor(0, 3);
    job.design = std::make_shared<VDLDesign>(big);
    job.size = QSize(2000, 1500);
    job.ppu = 3;
    renderers[0]->request(std::move(job));
    QThread::msleep(20);
    clock.restart();
    renderers[0].reset();
    EXPECT_LT(clock.elapsed(), 2000);
    renderers[1]->request(jobFor(1, 3));
    clock.restart();
    while (renderers[1]->busy() && clock.elapsed() < 30000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
    EXPECT_EQ(serials[1], 3u);
}

// Ruler labels are drawn whole: at every zoom and scroll position each label lies inside its
// ruler, and a labelled tick just inside the top or right end ("-60" at the top of the vertical
// ruler) turns its label to the other side of the tick instead of losing a digit.
TEST(ScrollView, RulerLabelsAreNeverCut) {
    std::vector<VDLStitch> s{VDLStitch(-800, -800, true, false)};
    for (int i = 0; i < 80; ++i) s.emplace_back(20, 20, false, false);
    Window w(makeDesign(s), QSize(700, 500));
    VDLRulerView* h = w.scroll.horizontalRulerView();
    VDLRulerView* r = w.scroll.verticalRulerView();
    ASSERT_TRUE(w.scroll.rulersVisible());
    bool sawSixtyAtTheTop = false;
    for (float scale : {1.0f, 2.0f, 3.0f, 5.0f}) {
        w.view->setScale(scale);
        QApplication::processEvents();
        QScrollBar* vbar = w.scroll.verticalScrollBar();
        QScrollBar* hbar = w.scroll.horizontalScrollBar();
        for (int v = vbar->minimum(); v <= vbar->maximum(); v += std::max(1, (vbar->maximum() - vbar->minimum()) / 40 + 1)) {
            vbar->setValue(v);
            hbar->setValue(hbar->minimum() + (v - vbar->minimum()) * (hbar->maximum() - hbar->minimum()) /
                                                 std::max(1, vbar->maximum() - vbar->minimum()));
            for (VDLRulerView* ruler : {h, r}) {
                const QRectF inside(0, 0, ruler->width(), ruler->height());
                const QList<VDLRulerView::Label> labels = ruler->labels();
                for (const VDLRulerView::Label& l : labels)
                    EXPECT_TRUE(inside.contains(l.rect)) << l.text.toStdString() << " at scale " << scale;
                // Every labelled value whose tick is in the ruler and has room on one side shows.
                const double step = ruler->labelStep();
                const double length = ruler == h ? ruler->width() : ruler->height();
                double v0 = ruler->valueAt(0), v1 = ruler->valueAt(length);
                if (v0 > v1) std::swap(v0, v1);
                for (double value = std::ceil(v0 / step) * step; value <= v1; value += step) {
                    const double pixel = ruler->pixelForValue(value);
                    if (pixel < 0 || pixel > length) continue;
                    bool shown = false;
                    for (const VDLRulerView::Label& l : labels) shown |= std::fabs(l.value - value) < step / 100;
                    EXPECT_TRUE(shown) << value << " not labelled at pixel " << pixel << " of " << length;
                }
            }
            const double top = r->pixelForValue(-60);
            if (top >= 0 && top < 6 && std::fmod(60.0, r->labelStep()) == 0) {
                bool whole = false;
                for (const VDLRulerView::Label& l : r->labels()) whole |= l.text == QStringLiteral("-60") && l.rect.top() >= 0;
                EXPECT_TRUE(whole) << "-60 at pixel " << top;
                sawSixtyAtTheTop = true;
            }
        }
        EXPECT_FALSE(r->grab().isNull());  // drawn offscreen as on screen
    }
    // The scroll positions above put the -60 mm tick at the very top at least once.
    if (!sawSixtyAtTheTop) {
        w.view->setScale(2.0f);
        QApplication::processEvents();
        w.view->scrollPointToCentre(VDLPoint{0, -600});
        QApplication::processEvents();
        QScrollBar* vbar = w.scroll.verticalScrollBar();
        const double delta = r->pixelForValue(-60) - 2;  // the tick 2 pixels below the top
        vbar->setValue(vbar->value() + int(std::lround(delta)));
        QApplication::processEvents();
        ASSERT_NEAR(r->pixelForValue(-60), 2, 1.5);
        bool whole = false;
        for (const VDLRulerView::Label& l : r->labels()) whole |= l.text == QStringLiteral("-60") && l.rect.top() >= 0;
        EXPECT_TRUE(whole);
    }
}
