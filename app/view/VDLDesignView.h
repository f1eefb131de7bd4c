#pragma once
// app/view: the design view, canvas renderer, scroll view and rulers, measuring, thread list and
// colour panel. May use app/controller, the playback cursor of app/player, model/, platform/.

// The canvas of a document window: one design to scale inside its scroll view, with grid, hoop,
// centre and first/last-stitch markers; mouse and keyboard input for selecting, measuring, moving
// and thread picking; a drag source (image, text, JPEG file); and the playback mechanics of the
// stitch player.
//
// Coordinates: the canvas is a square in design units (0.1 mm, Y up) centred on the design
// origin; the widget's size is that square times the zoom's pixels per unit. The design is drawn
// by the library's renderer into a cached image on a worker thread (VDLCanvasRenderer); the UI
// paints the last finished image (scaled, until a newer one arrives) with the cheap overlays on
// top, so a big design never blocks the UI.
#include "VDLDesign.h"
#include "VDLGeometry.h"
#include "VDLMeasurementView.h"

#include <QElapsedTimer>
#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QSizeF>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QTemporaryDir;
class QTimer;
class VDLCanvasRenderer;
struct VDLCanvasJob;
class VDLDesignViewDelegate;
class VDLScrollView;

// The drawing settings of the canvas, from the user defaults (screen or print keys).
struct VDLCanvasSettings {
    bool fastMode = false;
    bool showJumps = true;
    bool showGrid = true;
    bool showCenter = false;
    bool showHoop = true;
    bool showStructure = false;
    bool showFirst = false;
    bool showLast = false;
    QColor background;
    static VDLCanvasSettings screen();  // DrawFastMode, Show*, BackgroundColor
    static VDLCanvasSettings print();   // Print*, white background
};

// The colour archived under "BackgroundColor": an XML property list dictionary of red, green and
// blue doubles in 0..1. FALLBACK when the bytes are missing or do not read.
QColor VDLDecodeArchivedColor(const QByteArray& bytes, const QColor& fallback);

class VDLDesignView : public QWidget {
    Q_OBJECT
public:
    // Selection modes (mouse tools); any other value is thread picking.
    enum { RectangleMode = 0, BlockMode = 1, StitchMode = 2, MeasureMode = 3, ThreadPicking = -1 };

    explicit VDLDesignView(QWidget* parent = nullptr);
    ~VDLDesignView() override;

    // The design shown (not owned). Makes the canvas a square of at least 300 mm centred on the
    // origin; inside a scroll view also sets the rulers up, fits the design (scale 1) and centres it.
    void setDesign(VDLDesign* design);
    VDLDesign* design() const { return design_; }

    void setDelegate(VDLDesignViewDelegate* delegate) { delegate_ = delegate; }
    VDLDesignViewDelegate* delegate() const { return delegate_; }
    // The enclosing scroll view, or nullptr.
    VDLScrollView* scrollView() const;

    // Zoom: 1 fits designRect() into the visible area; limits minimumScale()..maximumScale().
    float scale() const;
    void setScale(float scale);
    float minimumScale() const { return 0.1f; }
    float maximumScale() const { return 15.0f; }
    void centerDesign();
    VDLPoint centredPointInDocView() const;
    void scrollPointToCentre(VDLPoint p);
    // The design's bounding box with a margin of a scroll bar's width + 5 on every side.
    VDLRect designRect() const;
    // The rectangle the zoom is measured against: the design rectangle as it was when the
    // design was installed or last fitted. Editing the design leaves it, so an edit never
    // changes the zoom; refit() takes the current design rectangle.
    VDLRect fitRect() const { return fitRect_; }
    void setFitRect(VDLRect r) { fitRect_ = r; }
    void refit() { fitRect_ = designRect(); }
    // The canvas square in design units.
    VDLRect bounds() const { return bounds_; }
    // Fits the design with a 5-unit margin into the view's current bounds (printing, images).
    void prepareForPrinting();
    // The design rendered into a new image at full size (1 pixel per design unit) or fitted into
    // MAXSIZE (a zero side means no limit), drawn with ALPHA.
    QImage imageWithTransparency(double alpha, QSizeF maxSize) const;

    // Mouse tools.
    int selectionMode() const { return selectionMode_; }
    void setSelectionMode(int mode);
    void switchCursorTo(Qt::CursorShape shape);
    Qt::CursorShape currentCursor() const { return currentCursor_; }
    bool isDragging() const { return isDragging_; }
    VDLRect selectionRect() const { return selectionRect_; }
    VDLMeasurementView* measureView() const { return measureView_; }
    // The contextual menu of the last secondary click (nullptr before one).
    QMenu* contextMenu() const { return contextMenu_; }

    // Playback: a one-shot timer every animationDelay() seconds adds animationStep() stitches
    // to the design's display range and posts "VardelleUpdateAnimation"; at the end it posts
    // "VardelleEndAnimation". Each tick draws only the new stitches on top of the cached image.
    void startAnimation();
    void pauseAnimation();
    void stopAnimation();
    void nextAnimationStep();
    bool isAnimating() const;
    int animationStep() const { return animationStep_; }
    void setAnimationStep(int step) { animationStep_ = step; }
    double animationDelay() const { return animationDelay_; }
    void setAnimationDelay(double seconds) { animationDelay_ = seconds; }
    double animationProgress() const;
    void setAnimationProgress(double progress);

    // Re-render the cached image after the design or the settings changed.
    void redraw();

    // Mapping between widget pixels and design units.
    VDLPoint designPointAt(QPointF widgetPos) const;
    QPointF widgetPointAt(VDLPoint p) const;
    // Pixels per design unit, and its inverse: the width of one screen pixel in design units.
    double pixelsPerUnit() const { return ppu_; }
    double drawUnit() const { return 1.0 / ppu_; }

    // The name of the JPEG file written for a drop into a folder: the design name without its
    // extension plus ".jpg"; when taken, "-1" ... "-99" before ".jpg"; "" when all are taken.
    static QString promisedFileName(const QString& designName, const std::function<bool(const QString&)>& exists);
    // Writes the full-size opaque image as JPEG into FOLDER under promisedFileName; returns the
    // path, or "" when no name was free or the write failed.
    QString writePromisedFile(const QString& folder) const;
    // The file a drag offers: the JPEG written into a fresh folder of its own (so it is always
    // "name.jpg"), inside a folder of this run that goes when the application ends; the folder
    // of the previous drag goes when the next drag starts. "" when it could not be written.
    QString writeDragFile();

    // The cache (tests and benchmarks).
    bool isRenderPending() const;
    bool waitForRender(int timeoutMs = 30000);
    // Until everything the canvas draws when idle is there too: the overview and the margin.
    bool waitForIdle(int timeoutMs = 30000);
    QImage cachedImage() const { return cache_.image; }
    VDLRect cachedRect() const { return cache_.rect; }
    double cachedPixelsPerUnit() const { return cache_.ppu; }
    int checkpointCount() const { return int(checkpoints_.size()); }
    // Whether a paint now covers the whole visible area with a picture of the current design at
    // the current scale: the exact picture, or the overview scaled while the exact one is drawn.
    bool coversVisibleAreaAtScale() const;
    // The overview: the whole design at a modest scale, shown scaled wherever the exact picture
    // does not reach yet (null until drawn).
    QImage overviewImage() const { return overview_.image; }
    // The bytes the view's pictures hold now (exact picture, overview, the player's
    // checkpoints), and the bound they stay within for a visible area of VIEWPORT pixels.
    qint64 cacheBytes() const;
    static qint64 cacheByteLimit(QSize viewport);
    int fullRenderCount() const { return fullRenders_; }
    int incrementalRenderCount() const { return incrementalRenders_; }

signals:
    void renderFinished();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class VDLScrollView;
    friend class VDLMeasurementView;
    struct Cache {
        QImage image;        // premultiplied ARGB32, the design only (transparent elsewhere)
        VDLRect rect;        // the design rectangle it covers
        double ppu = 0;      // its pixels per design unit
        quint64 key = 0;     // design generation and settings it was drawn with
        quint64 drawnTo = 0; // last stitch index drawn (playback)
        VDLRange range;      // display range it was drawn with
        quint64 serial = 0;  // the request it answers
        bool margin = false; // covers the margin around the visible area too
    };
    struct Job {
        quint64 key = 0;
        double ppu = 0;
        VDLRange range;
        VDLRect rect;
        bool margin = false;
    };
    // A picture of the player's position kept to start a redraw from (see ensureRender).
    struct Checkpoint {
        QImage image;
        quint64 end = 0;  // stitches up to this index are drawn
    };

    void setPixelsPerUnit(double ppu);
    VDLRect fitRect_;
    QRectF visibleWidgetRect() const;
    VDLRect visibleDesignRect() const;
    void ensureRender();
    bool cacheCurrent() const;
    void noteLiveResize();
    void secondaryClick(VDLPoint p, QPoint globalPos);
    void renderDone(quint64 serial, QImage image, VDLRect rect, double ppu, quint64 key, VDLRange range);
    void overviewDone(quint64 serial, QImage image, VDLRect rect, double ppu, quint64 key, VDLRange range);
    bool overviewUsable() const;
    bool fullRange() const;
    void requestOverview();
    void adoptAsOverview();
    VDLCanvasJob newJob(quint64 key, VDLRange range) const;
    // The design area shown by widget pixels R.
    VDLRect areaOfWidgetRect(QRect r) const;
    void keepCheckpoint(QImage image, quint64 end, VDLRect rect, double ppu, quint64 key);
    const Checkpoint* checkpointFor(quint64 end) const;
    void drawOverlays(QPainter& p, const QRectF& dirty, const VDLCanvasSettings& settings);
    void startDesignDrag(const VDLPoint& at);
    void mouseUpAt(VDLPoint p, Qt::KeyboardModifiers modifiers);
    bool show3D() const;
    quint64 renderKey() const;

    VDLDesign* design_ = nullptr;
    VDLDesignViewDelegate* delegate_ = nullptr;
    VDLRect bounds_ = VDLMakeRect(-1500, -1500, 3000, 3000);
    double ppu_ = 1.0;
    float scale_ = 1.0f;  // the last scale set (kept over window resizes; the scale outside a scroll view)
    int selectionMode_ = ThreadPicking;
    Qt::CursorShape currentCursor_ = Qt::ArrowCursor;
    QPointer<VDLMeasurementView> measureView_;
    QPointer<QMenu> contextMenu_;

    QTimer* animationTimer_ = nullptr;
    int animationStep_ = 5;
    double animationDelay_ = 0.1;
    bool animationPausedWhileDragging_ = false;

    bool isDragging_ = false;
    bool dragStarted_ = false;
    bool clickedSelection_ = false;
    bool draggingX_ = false;
    bool liveResize_ = false;
    bool movedSelection_ = false;
    VDLPoint mouseDownPosition_, mouseUpPosition_, mouseOldPosition_;
    VDLRect selectionRect_;

    // Rendering.
    std::unique_ptr<VDLCanvasRenderer> renderer_;
    std::shared_ptr<VDLDesign> snapshot_;  // the worker's copy of the design
    quint64 generation_ = 0;               // bumped by redraw()
    quint64 requested_ = 0;                // serial of the newest request
    quint64 snapshotGeneration_ = 0;
    Job lastJob_;
    bool lastJobMargin_ = false;           // whether the newest request covers the margin
    // The overview (its own renderer, drawn when the canvas is otherwise idle).
    std::unique_ptr<VDLCanvasRenderer> overviewRenderer_;
    Cache overview_;
    quint64 overviewRequested_ = 0;
    quint64 overviewKey_ = 0;              // key of the overview on its way (0: none)
    QElapsedTimer sinceExactRequest_;      // since the last drawing the view asked for
    QTimer* idleTimer_ = nullptr;
    // The player's checkpoints: pictures of the visible area at positions already drawn, for
    // the current key, scale and area; a jump backwards draws on from the nearest one.
    std::vector<Checkpoint> checkpoints_;
    quint64 checkpointKey_ = 0;
    double checkpointPpu_ = 0;
    VDLRect checkpointRect_;
    QTimer* liveResizeTimer_ = nullptr;
    std::unique_ptr<QTemporaryDir> dragFolder_;
    Cache cache_;
    int fullRenders_ = 0;
    int incrementalRenders_ = 0;
};
