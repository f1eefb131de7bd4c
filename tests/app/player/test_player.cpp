// The stitch player driving a real design view: states, speed, position, sound, the end of the
// design, closing; and the playback drawing of the view it steers.
#include "VDLDefaults.h"
#include "VDLDesignView.h"
#include "VDLNotificationCenter.h"
#include "VDLPlaybackCursor.h"
#include "VDLPlayerController.h"
#include "VDLRecordingContext.h"
#include "VDLScrollView.h"
#include "TestSupport.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QSlider>
#include <QSoundEffect>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <tuple>

namespace {

// A zig-zag of N stitches in three colours.
VDLDesign zigzag(int n) {
    std::vector<VDLStitch> s;
    for (int i = 0; i < n; ++i) s.emplace_back(3.0f, (i % 2 ? 25.0f : -25.0f) + float(i % 7), false, i == n / 3 || i == 2 * n / 3);
    return makeDesign(s);
}

bool runUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// A document's canvas, without the document: the player only needs the view.
struct Canvas {
    VDLDesign design;
    VDLDesignView view;
    explicit Canvas(int n) : design(zigzag(n)) {
        view.resize(400, 300);
        view.setDesign(&design);
        view.setAnimationDelay(0.002);
    }
};

}  // namespace

// With no document there is nothing to play: the player stays stopped.
TEST(Player, StartWithoutDocumentStaysStopped) {
    VDLPlayerController player;  // the application has no current document
    player.startAnimation();
    EXPECT_EQ(player.state(), VDLPlayerController::State::Stopped);
    EXPECT_FALSE(player.stopButton()->isEnabled());
    player.setViewProvider([] { return nullptr; });
    player.playButton()->click();
    EXPECT_EQ(player.state(), VDLPlayerController::State::Stopped);
    EXPECT_FALSE(player.stitchSound()->isPlaying());
}

// The speed: registered 7 (4200 a minute); 5 shows 3000 a minute, reaches the view and is kept
// for the next player; muting is kept too.
TEST(Player, SpeedAndSoundSettingsAreKept) {
    {
        VDLPlayerController player;
        EXPECT_EQ(player.speedSlider()->value(), 7);
        EXPECT_EQ(player.speedLabel()->text(), "4200 / min.");
        Canvas canvas(100);
        player.setViewProvider([&] { return &canvas.view; });
        player.startAnimation();
        player.speedSlider()->setValue(5);
        EXPECT_EQ(player.speedLabel()->text(), "3000 / min.");
        EXPECT_EQ(canvas.view.animationStep(), 5);
        EXPECT_EQ(VDLDefaults::standard().integerForKey("StitchSpeed"), 5);
        player.toggleSound();
        EXPECT_TRUE(VDLDefaults::standard().boolForKey("SoundMuted"));
        player.stopAnimation();
    }
    VDLPlayerController next;
    EXPECT_EQ(next.speedSlider()->value(), 5);
    EXPECT_EQ(next.speedLabel()->text(), "3000 / min.");
    EXPECT_TRUE(next.muted());
    next.toggleSound();
    next.speedSlider()->setValue(7);
}

// Play, pause, resume, stop; muting while playing silences the sound at the next tick and
// unmuting starts it again (the sound object's state: no speaker is needed).
TEST(Player, StatesAndSoundFollowTheTicks) {
    Canvas canvas(20000);
    VDLPlayerController player;
    player.setViewProvider([&] { return &canvas.view; });
    ASSERT_FALSE(player.muted());
    player.speedSlider()->setValue(1);

    player.playButton()->click();
    EXPECT_EQ(player.state(), VDLPlayerController::State::Playing);
    EXPECT_TRUE(player.stopButton()->isEnabled());
    EXPECT_TRUE(canvas.view.isAnimating());
    EXPECT_TRUE(player.stitchSound()->isPlaying());
    EXPECT_EQ(canvas.design.displayRange().length, 0u);  // from the start (position 0)

    int ticks = 0;
    QObject::connect(&VDLNotificationCenter::defaultCenter(), &VDLNotificationCenter::updateAnimation, &player,
                     [&](QObject*) { ++ticks; });
    player.toggleSound();
    EXPECT_TRUE(player.stitchSound()->isPlaying());  // until the next tick
    const int before = ticks;
    ASSERT_TRUE(runUntil([&] { return ticks > before; }));
    EXPECT_FALSE(player.stitchSound()->isPlaying());
    player.toggleSound();
    const int muted = ticks;
    ASSERT_TRUE(runUntil([&] { return ticks > muted; }));
    EXPECT_TRUE(player.stitchSound()->isPlaying());
    EXPECT_GT(player.progress(), 0.0);

    player.playButton()->click();
    EXPECT_EQ(player.state(), VDLPlayerController::State::Paused);
    EXPECT_FALSE(canvas.view.isAnimating());
    EXPECT_FALSE(player.stitchSound()->isPlaying());
    EXPECT_TRUE(player.stopButton()->isEnabled());
    const VDLRange paused = canvas.design.displayRange();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 30);
    EXPECT_EQ(canvas.design.displayRange(), paused);

    player.playButton()->click();
    EXPECT_EQ(player.state(), VDLPlayerController::State::Playing);
    EXPECT_TRUE(player.stitchSound()->isPlaying());

    player.stopButton()->click();
    EXPECT_EQ(player.state(), VDLPlayerController::State::Stopped);
    EXPECT_FALSE(player.stopButton()->isEnabled());
    EXPECT_FALSE(player.stitchSound()->isPlaying());
    EXPECT_EQ(canvas.design.displayRange(), (VDLRange{0, 20000}));
    EXPECT_EQ(player.progressSlider()->value(), 0);
    EXPECT_EQ(player.patternView(), nullptr);
}

// The position slider: the user's move sets the view's progress; while the user holds the
// slider, the ticks do not pull it away.
TEST(Player, PositionSliderDoesNotFightTheUser) {
    Canvas canvas(20000);
    VDLPlayerController player;
    player.setViewProvider([&] { return &canvas.view; });
    player.speedSlider()->setValue(1);
    player.startAnimation();
    player.progressSlider()->setSliderDown(true);
    player.progressSlider()->setValue(5000);  // the user drags to the middle
    EXPECT_NEAR(canvas.view.animationProgress(), 0.5, 0.001);
    int ticks = 0;
    QObject::connect(&VDLNotificationCenter::defaultCenter(), &VDLNotificationCenter::updateAnimation, &player,
                     [&](QObject*) { ++ticks; });
    ASSERT_TRUE(runUntil([&] { return ticks >= 3; }));
    EXPECT_EQ(player.progressSlider()->value(), 5000);
    EXPECT_GT(canvas.view.animationProgress(), 0.5);
    player.progressSlider()->setSliderDown(false);
    const int released = ticks;
    ASSERT_TRUE(runUntil([&] { return ticks > released; }));
    EXPECT_GT(player.progressSlider()->value(), 5000);
    player.stopAnimation();
}

// The design plays to just short of its end, "VardelleEndAnimation" comes from the view, the
// player stops and the whole design shows again.
TEST(Player, PlaybackEndsAndStopRestoresTheWholeDesign) {
    Canvas canvas(1000);
    std::optional<VDLRange> atEnd;
    QObject* endSender = nullptr;
    QObject guard;
    QObject::connect(&VDLNotificationCenter::defaultCenter(), &VDLNotificationCenter::endAnimation, &guard,
                     [&](QObject* sender) {
                         if (!atEnd) atEnd = canvas.design.displayRange(), endSender = sender;
                     });
    VDLPlayerController player;
    player.setViewProvider([&] { return &canvas.view; });
    player.speedSlider()->setValue(30);
    player.startAnimation();
    ASSERT_TRUE(runUntil([&] { return player.state() == VDLPlayerController::State::Stopped; }));
    ASSERT_TRUE(atEnd.has_value());
    EXPECT_EQ(endSender, &canvas.view);
    EXPECT_LT(atEnd->location + atEnd->length, 1000u);
    EXPECT_GE(atEnd->location + atEnd->length + 30, 1000u);
    EXPECT_EQ(canvas.design.displayRange(), (VDLRange{0, 1000}));
    EXPECT_FALSE(canvas.view.isAnimating());
    EXPECT_FALSE(player.stitchSound()->isPlaying());
    EXPECT_FALSE(player.stopButton()->isEnabled());
}

// Closing the player window stops the playback; so does the document (its view) going away.
TEST(Player, ClosingWindowOrDocumentStops) {
    Canvas canvas(20000);
    VDLPlayerController player;
    player.setViewProvider([&] { return &canvas.view; });
    player.show();
    player.startAnimation();
    ASSERT_EQ(player.state(), VDLPlayerController::State::Playing);
    player.close();
    EXPECT_EQ(player.state(), VDLPlayerController::State::Stopped);
    EXPECT_EQ(canvas.design.displayRange(), (VDLRange{0, 20000}));

    auto other = std::make_unique<Canvas>(20000);
    player.setViewProvider([&] { return &other->view; });
    player.startAnimation();
    ASSERT_EQ(player.state(), VDLPlayerController::State::Playing);
    other.reset();
    EXPECT_EQ(player.state(), VDLPlayerController::State::Stopped);
    EXPECT_EQ(player.patternView(), nullptr);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Ticks of the player draw only the new stitches on top of the canvas' cached image; paused
// at any point, the picture is the one a full drawing at that position gives, pixel for pixel.
TEST(Player, IncrementalTickDrawsWhatAFullRedrawDraws) {
    VDLDesign design = zigzag(3000);
    VDLScrollView scroll;
    auto* view = new VDLDesignView;
    scroll.setDesignView(view);
    scroll.resize(800, 600);
    scroll.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&scroll));
    view->setDesign(&design);
    QTest::qWait(300);  // the resize at show settles
    ASSERT_TRUE(view->waitForRender());

    VDLPlayerController player;
    player.setViewProvider([&] { return view; });
    player.speedSlider()->setValue(5);
    view->setAnimationDelay(0.05);
    player.startAnimation();
    player.progressSlider()->setValue(3000);  // the user jumps to 30 %: one full drawing
    player.pauseAnimation();                  // (however long that drawing takes)
    ASSERT_TRUE(view->waitForRender());
    const int full = view->fullRenderCount();
    const int incremental = view->incrementalRenderCount();
    int ticks = 0;
    QObject::connect(&VDLNotificationCenter::defaultCenter(), &VDLNotificationCenter::updateAnimation, &player,
                     [&](QObject*) { ++ticks; });
    player.resumeAnimation();
    ASSERT_TRUE(runUntil([&] { return ticks >= 6; }, 60000));
    player.pauseAnimation();
    ASSERT_TRUE(view->waitForRender());
    EXPECT_EQ(view->fullRenderCount(), full);
    EXPECT_GT(view->incrementalRenderCount(), incremental);
    EXPECT_GE(design.displayRange().length, 900u + 6 * 5);
    EXPECT_EQ(player.state(), VDLPlayerController::State::Paused);

    const QImage stepped = view->cachedImage();
    view->redraw();
    ASSERT_TRUE(view->waitForRender());
    EXPECT_EQ(view->fullRenderCount(), full + 1);
    const QImage redrawn = view->cachedImage();
    ASSERT_EQ(stepped.size(), redrawn.size());
    int differing = 0;
    for (int y = 0; y < stepped.height(); ++y)
        for (int x = 0; x < stepped.width(); ++x)
            if (stepped.pixel(x, y) != redrawn.pixel(x, y)) ++differing;
    EXPECT_EQ(differing, 0);
    player.stopAnimation();
}

// The cursor's small design draws, call for call, what the whole design draws for a tick's
// range: across colour changes, jumps (shown and hidden), a selection, at the first ticks, and
// after the user moved the position backwards; and it walks only the new records.
TEST(Player, PlaybackSegmentDrawsWhatTheWholeDesignDraws) {
    std::vector<VDLStitch> s;
    for (int i = 0; i < 600; ++i) {
        const bool jump = i % 37 == 5 || i % 37 == 6;
        const bool change = i % 113 == 50;
        s.emplace_back(jump ? 60.0f : 3.5f, (i % 2 ? 20.0f : -20.0f) + 0.25f * float(i % 9), jump, change);
        s.back().isSelected = i % 17 < 4;
    }
    auto design = std::make_shared<VDLDesign>(makeDesign(s));
    design->setSelectionActive(true);
    design->threads()[2].setIsShown(false);
    design->threads().pop_back();  // one block more than threads: the last thread covers it

    auto ops = [](const VDLDesign& d, bool show3D, bool jumps) {
        VDLRecordingContext ctx;
        d.drawDesignInRect(VDLMakeRect(-100, -100, 4000, 400), ctx, show3D, jumps, false);
        std::vector<std::tuple<int, std::vector<VDLPathElement>, double, VDLRGBA, std::vector<double>, double, double>> out;
        for (const auto& op : ctx.ops())
            out.emplace_back(int(op.kind), op.path, op.state.lineWidth, op.state.strokeColor, op.state.dash, op.x0, op.y1);
        return out;
    };
    VDLPlaybackCursor cursor;
    const std::vector<VDLRange> ticks = {{2, 3}, {7, 5}, {14, 98}, {114, 98}, {214, 98}, {316, 250}, {40, 20}, {62, 500}};
    for (const VDLRange r : ticks) {
        SCOPED_TRACE(testing::Message() << "range " << r.location << " + " << r.length);
        const uint64_t before = cursor.walked();
        const std::optional<VDLDesign> part = cursor.segment(design, r);
        ASSERT_TRUE(part.has_value());
        if (r.location - 1 >= before) {
            EXPECT_EQ(cursor.walked() - before, r.location - 1 - before);
        }
        EXPECT_LE(part->stitches().size(), r.length + 3);
        VDLDesign whole = *design;
        whole.setDisplayRange(r);
        for (const bool show3D : {false, true})
            for (const bool jumps : {false, true}) {
                const auto expected = ops(whole, show3D, jumps);
                EXPECT_GT(expected.size(), 2u);
                EXPECT_EQ(ops(*part, show3D, jumps), expected) << "3D " << show3D << " jumps " << jumps;
            }
    }
    EXPECT_FALSE(cursor.segment(design, VDLRange{1, 10}).has_value());  // from the start: draw it whole
}
