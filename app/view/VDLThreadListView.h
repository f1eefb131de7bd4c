#pragma once
// The table beside the canvas that lists the design's thread blocks in sewing order: a 5 x 64
// swatch, a 64 x 64 picture of that block's stitches alone and the thread name, rows 64 high.
// Clicking a row shows only that thread (clicking the shown row again shows all); dragging a
// row between two others moves the block; the contextual menu moves a block or merges it into
// the previous one. Every change is carried out by the document, which then asks the list to
// rebuild (updateThreadList). The pictures are drawn on a worker thread from a copy of the
// design and fill in as they arrive, so a design with hundreds of blocks never blocks the window.
#include <QImage>
#include <QTableWidget>

#include <atomic>
#include <memory>
#include <vector>

#include "VDLThread.h"

class QMenu;
class VDLThreadListDelegate;

class VDLThreadListView : public QTableWidget {
    Q_OBJECT
public:
    explicit VDLThreadListView(QWidget* parent = nullptr);
    ~VDLThreadListView() override;

    VDLThreadListDelegate* parentDocument() const { return parentDocument_; }
    void setParentDocument(VDLThreadListDelegate* d) { parentDocument_ = d; }

    // Rebuilds rows, swatches and (in the background) pictures from the document's design.
    void updateThreadList();
    // The row selection follows the document: one row (showThread) or none (showAllThreads).
    void selectThreadRow(int row);
    void deselectThreadRows();
    int selectedThreadRow() const { return selectedRow_; }

    // Pictures: null until drawn. waitForIcons() runs the event loop until all of the current
    // rebuild arrived (tests, screenshots).
    QImage threadIcon(int row) const;
    bool iconsComplete() const;
    bool waitForIcons(int timeoutMs = 30000);
    // The picture side in pixels for a device-pixel ratio.
    static int iconPixels(double devicePixelRatio);
    // One block's picture: thread INDEX of DESIGN alone, flat, without jumps, the whole design
    // fitted into SIDE x SIDE pixels with a margin.
    static QImage renderThreadIcon(const class VDLDesign& design, int index, int side);
    // The same with the stitches of DRAWN (a part of WHOLE that holds the block as its INDEX).
    static QImage renderThreadIcon(const class VDLDesign& whole, const class VDLDesign& drawn, int index, int side);

    // Clicking (as a mouse release on ROW without a drag does).
    void clickRow(int row);
    // Drag and drop: the thread index a block dragged from FROM lands at when dropped just above
    // row ROW (ROW = count: below the last row); -1 when nothing moves.
    static int dropTargetIndex(int from, int row);
    void dropRow(int from, int row);
    // The contextual menu for ROW (-1: below the last row), built as it pops up; the caller owns it.
    QMenu* contextMenuForRow(int row);
    int rightClickedRow() const { return rightClickedRow_; }

    static constexpr const char* kDragType = "application/x-vardelle-thread-row";

    // The text of a row: the thread's code beside its name when its chart has codes.
    QString rowText(int row) const;
    // The tooltip of a row: name, code, chart, stitch count and top thread.
    QString rowToolTip(int row) const;

signals:
    void iconsReady();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dragLeaveEvent(QDragLeaveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    bool viewportEvent(QEvent* e) override;

private:
    friend class VDLThreadListItemDelegate;
    int dropRowAt(const QPoint& pos) const;
    void startRowDrag(int row);
    void iconArrived(quint64 generation, int row, QImage image);
    bool textIsBlack(int row) const;

    VDLThreadListDelegate* parentDocument_ = nullptr;
    std::vector<VDLThread> threads_;
    std::vector<QImage> threadIcons_;
    std::vector<int64_t> stitchCounts_;  // sewn stitches per thread block
    std::vector<double> threadMM_;       // top thread per thread block
    int iconsPending_ = 0;
    int selectedRow_ = -1;
    int rightClickedRow_ = -1;
    int pressRow_ = -1;
    QPoint pressPos_;
    bool dragging_ = false;
    int dropGap_ = -1;
    quint64 generation_ = 0;
    std::shared_ptr<std::atomic<quint64>> liveGeneration_;
};
