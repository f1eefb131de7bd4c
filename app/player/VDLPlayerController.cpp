#include "VDLPlayerController.h"

#include "VDLAppController.h"
#include "VDLDefaults.h"
#include "VDLDesignView.h"
#include "VDLDocument.h"
#include "VDLNotificationCenter.h"
#include "VDLResources.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QLabel>
#include <QSlider>
#include <QSoundEffect>
#include <QStyle>
#include <QThread>
#include <QToolButton>
#include <QUrl>

#include <atomic>
#include <cmath>

namespace {

constexpr int kProgressSteps = 10000;  // the position slider's resolution
constexpr int kMinSpeed = 1;
constexpr int kMaxSpeed = 100;
constexpr int kDefaultSpeed = 7;
constexpr int kTicksPerMinute = 600;   // one tick every 0.1 s

// Our icon from resources/images, or the style's own when it cannot be loaded.
QIcon playerIcon(const char* name, QStyle::StandardPixmap fallback, const QWidget* widget) {
    const std::string path = VDLPathForResource(name, "svg", "images");
    QIcon icon;
    if (!path.empty()) icon = QIcon(QString::fromStdString(path));
    if (icon.isNull() || icon.pixmap(16).isNull())
        icon = widget->style()->standardIcon(fallback);
    return icon;
}

}  // namespace

namespace {
std::atomic<bool> soundRequested{false};  // a player has set the stitch sound loading
}  // namespace

void VDLPlayerController::waitForSoundToLoad(int timeoutMs) {
    if (!soundRequested.load()) return;
    const std::string sound = VDLPathForResource("stitch", "wav", "sounds");
    if (sound.empty()) return;
    // The cache hands this probe the sample being loaded (or loads it after the earlier load,
    // on the same thread): once the probe is no longer loading, neither is the cache.
    QSoundEffect probe;
    probe.setSource(QUrl::fromLocalFile(QString::fromStdString(sound)));
    QElapsedTimer timer;
    timer.start();
    while ((probe.status() == QSoundEffect::Loading || probe.status() == QSoundEffect::Null) &&
           !timer.hasExpired(timeoutMs)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

VDLPlayerController::VDLPlayerController(QWidget* parent) : QWidget(parent, Qt::Tool) {
    setObjectName(QStringLiteral("VDLPlayerWindow"));
    setWindowTitle(tr("Stitch Player"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    viewProvider_ = [] () -> VDLDesignView* {
        if (!VDLAppController::exists()) return nullptr;
        auto* doc = qobject_cast<VDLDocument*>(VDLAppController::instance()->currentDocument());
        return doc ? doc->patternView() : nullptr;
    };

    playButton_ = new QToolButton(this);
    playButton_->setObjectName(QStringLiteral("playButton"));
    stopButton_ = new QToolButton(this);
    stopButton_->setObjectName(QStringLiteral("stopButton"));
    stopButton_->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    stopButton_->setToolTip(tr("Stop"));
    soundButton_ = new QToolButton(this);
    soundButton_->setObjectName(QStringLiteral("soundButton"));
    for (QToolButton* b : {playButton_, stopButton_, soundButton_}) b->setIconSize(QSize(24, 24));

    speedSlider_ = new QSlider(Qt::Horizontal, this);
    speedSlider_->setObjectName(QStringLiteral("speedSlider"));
    speedSlider_->setRange(kMinSpeed, kMaxSpeed);
    speedSlider_->setToolTip(tr("Speed"));
    speedLabel_ = new QLabel(this);
    speedLabel_->setObjectName(QStringLiteral("speedLabel"));
    speedLabel_->setMinimumWidth(fontMetrics().horizontalAdvance(speedText(kMaxSpeed)) + 8);
    speedLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    progressSlider_ = new QSlider(Qt::Horizontal, this);
    progressSlider_->setObjectName(QStringLiteral("progressSlider"));
    progressSlider_->setRange(0, kProgressSteps);
    progressSlider_->setToolTip(tr("Position"));

    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(playButton_);
    buttons->addWidget(stopButton_);
    buttons->addWidget(progressSlider_, 1);
    buttons->addWidget(soundButton_);
    auto* speed = new QHBoxLayout;
    speed->addWidget(new QLabel(tr("Speed:"), this));
    speed->addWidget(speedSlider_, 1);
    speed->addWidget(speedLabel_);
    layout->addLayout(buttons);
    layout->addLayout(speed);
    setMinimumWidth(360);

    // The sound: our own loop, played over and over; without an audio device it stays silent.
    stitchSound_ = new QSoundEffect(this);
    const std::string sound = VDLPathForResource("stitch", "wav", "sounds");
    if (!sound.empty()) {
        stitchSound_->setSource(QUrl::fromLocalFile(QString::fromStdString(sound)));
        soundRequested.store(true);
    }
    stitchSound_->setLoopCount(QSoundEffect::Infinite);
    stitchSound_->setVolume(0.6f);

    // Stopped; the settings of the last run.
    stopButton_->setEnabled(false);
    playButton_->setIcon(playerIcon("TB_Play", QStyle::SP_MediaPlay, this));
    playButton_->setToolTip(tr("Play"));
    patternView_ = currentView();
    muted_ = VDLDefaults::standard().contains(QStringLiteral("SoundMuted"))
                 ? VDLDefaults::standard().boolForKey(QStringLiteral("SoundMuted"))
                 : false;
    updateSoundImage();
    const int s = VDLDefaults::standard().contains(QStringLiteral("StitchSpeed"))
                      ? VDLDefaults::standard().integerForKey(QStringLiteral("StitchSpeed"))
                      : kDefaultSpeed;
    {
        const QSignalBlocker block(speedSlider_);
        speedSlider_->setValue(std::clamp(s, kMinSpeed, kMaxSpeed));
    }
    if (patternView_) patternView_->setAnimationStep(speedSlider_->value());
    speedLabel_->setText(speedText(speedSlider_->value()));

    connect(playButton_, &QToolButton::clicked, this, &VDLPlayerController::playButtonClicked);
    connect(stopButton_, &QToolButton::clicked, this, &VDLPlayerController::stopAnimation);
    connect(soundButton_, &QToolButton::clicked, this, &VDLPlayerController::toggleSound);
    connect(speedSlider_, &QSlider::valueChanged, this, &VDLPlayerController::setSpeed);
    // Only the user's moves steer the view; the player's own updates are made with signals blocked.
    connect(progressSlider_, &QSlider::valueChanged, this, &VDLPlayerController::changePosition);
    connect(&VDLNotificationCenter::defaultCenter(), &VDLNotificationCenter::endAnimation, this,
            [this](QObject*) { if (state_ != State::Stopped) stopAnimation(); });
}

VDLPlayerController::~VDLPlayerController() {
    if (state_ != State::Stopped && patternView_) patternView_->stopAnimation();
}

QString VDLPlayerController::speedText(int stitchesPerTick) {
    return tr("%1 / min.").arg(stitchesPerTick * kTicksPerMinute);
}

double VDLPlayerController::progress() const { return double(progressSlider_->value()) / kProgressSteps; }

VDLDesignView* VDLPlayerController::currentView() const { return viewProvider_ ? viewProvider_() : nullptr; }

void VDLPlayerController::playButtonClicked() {
    switch (state_) {
    case State::Stopped: startAnimation(); break;
    case State::Playing: pauseAnimation(); break;
    case State::Paused: resumeAnimation(); break;
    }
}

void VDLPlayerController::startAnimation() {
    VDLDesignView* view = currentView();
    if (!view || !view->design()) return;
    if (patternView_ && patternView_ != view && state_ != State::Stopped) patternView_->stopAnimation();
    patternView_ = view;
    // The document closing takes its view with it: back to stopped.
    disconnect(viewGoneConnection_);
    viewGoneConnection_ = connect(view, &QObject::destroyed, this, [this] {
        patternView_ = nullptr;
        stopAnimation();
    });
    state_ = State::Playing;
    stopButton_->setEnabled(true);
    playButton_->setIcon(playerIcon("TB_Pause", QStyle::SP_MediaPause, this));
    playButton_->setToolTip(tr("Pause"));
    view->setAnimationStep(speedSlider_->value());
    view->startAnimation();
    changePosition();
    if (!muted_) playSound();
}

void VDLPlayerController::pauseAnimation() {
    if (state_ == State::Stopped) return;
    state_ = State::Paused;
    stopButton_->setEnabled(true);
    playButton_->setIcon(playerIcon("TB_Play", QStyle::SP_MediaPlay, this));
    playButton_->setToolTip(tr("Resume"));
    if (patternView_) patternView_->pauseAnimation();
    stopSound();
}

void VDLPlayerController::resumeAnimation() {
    if (state_ == State::Stopped || !patternView_) return;
    state_ = State::Playing;
    stopButton_->setEnabled(true);
    playButton_->setIcon(playerIcon("TB_Pause", QStyle::SP_MediaPause, this));
    playButton_->setToolTip(tr("Pause"));
    patternView_->setAnimationStep(speedSlider_->value());
    patternView_->startAnimation();
    if (!muted_) playSound();
}

void VDLPlayerController::stopAnimation() {
    state_ = State::Stopped;
    stopButton_->setEnabled(false);
    playButton_->setIcon(playerIcon("TB_Play", QStyle::SP_MediaPlay, this));
    playButton_->setToolTip(tr("Play"));
    {
        const QSignalBlocker block(progressSlider_);
        progressSlider_->setValue(0);
    }
    observeUpdates(false);
    disconnect(viewGoneConnection_);
    if (patternView_) patternView_->stopAnimation();  // the whole design again
    patternView_ = nullptr;
    stopSound();
}

void VDLPlayerController::setSpeed(int stitchesPerTick) {
    if (patternView_) patternView_->setAnimationStep(stitchesPerTick);
    speedLabel_->setText(speedText(stitchesPerTick));
    VDLDefaults::standard().setValue(QStringLiteral("StitchSpeed"), stitchesPerTick);
}

void VDLPlayerController::toggleSound() {
    muted_ = !muted_;
    updateSoundImage();
    VDLDefaults::standard().setValue(QStringLiteral("SoundMuted"), muted_);
    // The sound itself follows at the next tick.
}

void VDLPlayerController::changePosition() {
    if (!patternView_ || state_ == State::Stopped) return;  // applied when playback starts
    observeUpdates(false);
    patternView_->setAnimationProgress(progress());
    observeUpdates(true);
}

void VDLPlayerController::updateProgress(QObject* sender) {
    if (!patternView_ || sender != patternView_) return;
    const double p = patternView_->animationProgress();
    if (!progressSlider_->isSliderDown()) {  // the user holds it: do not pull it away
        const QSignalBlocker block(progressSlider_);
        progressSlider_->setValue(int(std::lround(std::clamp(p, 0.0, 1.0) * kProgressSteps)));
    }
    if (p >= 1.0) {
        stopAnimation();
        return;
    }
    if (muted_ && stitchSound_->isPlaying())
        stopSound();
    else if (!muted_ && !stitchSound_->isPlaying() && state_ == State::Playing)
        playSound();
}

void VDLPlayerController::observeUpdates(bool on) {
    disconnect(updateConnection_);
    if (on)
        updateConnection_ = connect(&VDLNotificationCenter::defaultCenter(), &VDLNotificationCenter::updateAnimation,
                                    this, &VDLPlayerController::updateProgress);
}

void VDLPlayerController::playSound() { stitchSound_->play(); }

void VDLPlayerController::stopSound() {
    if (stitchSound_->isPlaying()) stitchSound_->stop();
}

void VDLPlayerController::updateSoundImage() {
    soundButton_->setIcon(muted_ ? playerIcon("TB_Soundoff", QStyle::SP_MediaVolumeMuted, this)
                                 : playerIcon("TB_Soundon", QStyle::SP_MediaVolume, this));
    soundButton_->setToolTip(muted_ ? tr("Sound off") : tr("Sound on"));
}

void VDLPlayerController::closeEvent(QCloseEvent* event) {
    // Closing the player stops the playback.
    VDLNotificationCenter::defaultCenter().post(QStringLiteral("VardelleEndAnimation"), this);
    QWidget::closeEvent(event);
}
