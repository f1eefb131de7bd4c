#pragma once
// Draws designs for the canvas on worker threads. A request carries the worker's own copy of
// the design (the UI never touches it again), the area and zoom, and the drawing flags; a newer
// request replaces one that has not started yet, and the finished image comes back on the UI
// thread through finished(). render() is the one place where the canvas calls the library's
// renderer.
//
// Every renderer (one per canvas) draws on one pool of threads shared by the whole
// application, as many threads as the machine has cores however many windows are open. A
// renderer's jobs run one at a time, in the order asked; the pool takes the renderers with
// work in turn.
#include "VDLDesign.h"
#include "VDLGeometry.h"
#include "VDLPlaybackCursor.h"

#include <QImage>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

struct VDLCanvasJob {
    quint64 serial = 0;
    std::shared_ptr<VDLDesign> design;  // owned by the worker while the job runs
    VDLRange range;                     // display range to draw with
    VDLRect rect;                       // design area of the image
    double ppu = 1;                     // pixels per design unit
    QSize size;                         // image size in pixels
    bool show3D = false;
    bool showJumps = true;
    bool showStructure = false;
    quint64 key = 0;                    // opaque to the renderer, handed back
    QImage base;                        // when set: draw on top of it (new playback stitches)
    std::optional<VDLRange> drawRange;  // the range actually drawn, when not RANGE
    // When not 0 (RANGE starting at 0): the picture is also handed over through checkpoint()
    // each time the drawing passes a multiple of this many stitches.
    quint64 checkpointEvery = 0;
};

class VDLCanvasRenderer : public QObject {
    Q_OBJECT
public:
    VDLCanvasRenderer();
    ~VDLCanvasRenderer() override;

    void request(VDLCanvasJob job);
    bool busy() const;
    // Drops the job not yet started and stops the one drawing (its image is never delivered);
    // a later request runs as usual.
    void cancel();

    // Draws DESIGN (with its own display range) over the area RECT at PPU pixels per unit into
    // TARGET (premultiplied ARGB32, any size; the top-left pixel shows rect's top-left corner).
    // CANCELLED, when given, is asked now and then; once it answers true the rest is skipped and
    // the answer is false (an incomplete image).
    static bool render(const VDLDesign& design, QImage& target, VDLRect rect, double ppu, bool show3D,
                       bool showJumps, bool showStructure, const std::function<bool()>& cancelled = {});

    // Threads of the shared pool (started with the first renderer).
    static int poolThreadCount();

signals:
    void finished(quint64 serial, QImage image, VDLRect rect, double ppu, quint64 key, VDLRange range);
    // The picture of stitches 0 .. END, drawn on the way for a job that asked for checkpoints.
    void checkpoint(QImage image, quint64 end, VDLRect rect, double ppu, quint64 key);

private:
    friend class VDLCanvasPool;
    // Draws JOB and posts its image; false when it was stopped for a newer job.
    bool runJob(VDLCanvasJob& job);
    // Draws stitches FIRST .. LAST of JOB's design on top of IMAGE (all up to LAST when FIRST is 0).
    bool drawStitches(VDLCanvasJob& job, QImage& image, quint64 first, quint64 last,
                      const std::function<bool()>& superseded);
    // Scheduling state, guarded by the pool's lock.
    std::optional<VDLCanvasJob> pending_;
    int inFlight_ = 0;     // taken by a worker, result not yet handed over
    bool queued_ = false;  // waiting in the pool's queue
    bool running_ = false; // a worker is drawing one of its jobs
    bool stop_ = false;
    VDLPlaybackCursor playbackCursor_;  // the worker's; where the last playback tick ended
    std::atomic<bool> stopping_{false};
    std::atomic<quint64> latest_{0};  // serial of the newest request: older running jobs stop
    std::atomic<quint64> cancelledTo_{0};  // jobs up to this serial stop
};
