#pragma once
// app/player: the stitch player window, the playback cursor and the stitch sound. May use
// app/controller, app/document and app/view (the view plays the design back), model/, platform/.

// The stitch player: a small floating window that plays the frontmost document's design back
// stitch by stitch through its design view (the view does the playback; the player steers it
// and mirrors its progress), with play / pause / resume, stop, a speed slider, a position
// slider and a looping stitching sound.
//
// States: stopped (stop disabled, play starts), playing (stop enabled, play pauses), paused
// (stop enabled, play resumes). The end of the design ("VardelleEndAnimation"), closing the
// player window and closing the document return to stopped.
#include "VDLDesignView.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;
class QSlider;
class QSoundEffect;
class QToolButton;


class VDLPlayerController : public QWidget {
    Q_OBJECT
public:
    enum class State { Stopped, Playing, Paused };

    explicit VDLPlayerController(QWidget* parent = nullptr);
    ~VDLPlayerController() override;

    // Where the design view to play comes from: by default the current document's view.
    void setViewProvider(std::function<VDLDesignView*()> provider) { viewProvider_ = std::move(provider); }

    State state() const { return state_; }
    bool muted() const { return muted_; }
    VDLDesignView* patternView() const { return patternView_; }

    // The speed label's text for S stitches per tick: "%i / min." with S x 600 (ten ticks a
    // second).
    static QString speedText(int stitchesPerTick);

    // Waits (at most TIMEOUTMS, handling events) until the stitch sound has finished loading,
    // when a player has asked for it. Qt's sample cache loads sounds on a thread of its own and,
    // when the process ends during a load, hangs in its destructor or leaves the load behind:
    // called before the application (or a test process) ends.
    static void waitForSoundToLoad(int timeoutMs = 3000);

    // Controls (tests, screenshots).
    QToolButton* playButton() const { return playButton_; }
    QToolButton* stopButton() const { return stopButton_; }
    QToolButton* soundButton() const { return soundButton_; }
    QSlider* speedSlider() const { return speedSlider_; }
    QLabel* speedLabel() const { return speedLabel_; }
    QSlider* progressSlider() const { return progressSlider_; }
    QSoundEffect* stitchSound() const { return stitchSound_; }
    // The position slider's value as progress, 0..1.
    double progress() const;

public slots:
    void startAnimation();
    void pauseAnimation();
    void resumeAnimation();
    void stopAnimation();
    void setSpeed(int stitchesPerTick);
    void toggleSound();
    // Applies the position slider to the view without reacting to the view's own updates.
    void changePosition();
    void updateProgress(QObject* sender);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void playButtonClicked();
    void updateSoundImage();
    void observeUpdates(bool on);
    void playSound();
    void stopSound();
    VDLDesignView* currentView() const;

    std::function<VDLDesignView*()> viewProvider_;
    QPointer<VDLDesignView> patternView_;
    QMetaObject::Connection updateConnection_;
    QMetaObject::Connection viewGoneConnection_;
    State state_ = State::Stopped;
    bool muted_ = false;

    QToolButton* playButton_ = nullptr;
    QToolButton* stopButton_ = nullptr;
    QToolButton* soundButton_ = nullptr;
    QSlider* speedSlider_ = nullptr;
    QLabel* speedLabel_ = nullptr;
    QSlider* progressSlider_ = nullptr;
    QSoundEffect* stitchSound_ = nullptr;
};
