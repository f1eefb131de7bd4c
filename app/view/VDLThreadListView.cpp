#include "VDLThreadListView.h"

#include "VDLPlaybackCursor.h"

#include "VDLCairoContext.h"
#include "VDLDesign.h"
#include "VDLLocalization.h"
#include "VDLSewingFacts.h"
#include "VDLThreadListDelegate.h"
#include "VDLValueTransformer.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDeadlineTimer>
#include <QDrag>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QThreadPool>
#include <QToolTip>
#include <QWindow>

#include <algorithm>
#include <functional>

namespace {
constexpr int kRowHeight = 64;
constexpr int kSwatchWidth = 5;
constexpr double kMargin = 1.2;

QString uiText(const char* key, const char* english) {
    return QString::fromStdString(VDLLocalizedString(key, "VDLDocument", english));
}
}  // namespace

// Draws the three columns: the swatch filling its cell, the picture centred, the name in black
// or gray (gray for the rows that are not the shown or right-clicked one).
class VDLThreadListItemDelegate : public QStyledItemDelegate {
public:
    explicit VDLThreadListItemDelegate(VDLThreadListView* list) : QStyledItemDelegate(list), list_(list) {}
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const int row = index.row();
        if (row < 0 || size_t(row) >= list_->threads_.size()) return;
        const QRect r = option.rect;
        if (index.column() == 0) {
            const VDLColor& c = list_->threads_[size_t(row)].color();
            p->fillRect(QRect(r.x(), r.y(), kSwatchWidth, kRowHeight), QColor::fromRgbF(float(c.red()), float(c.green()), float(c.blue())));
        } else if (index.column() == 1) {
            const QImage& icon = list_->threadIcons_[size_t(row)];
            if (!icon.isNull()) p->drawImage(QRect(r.x() + (r.width() - kRowHeight) / 2, r.y(), kRowHeight, kRowHeight), icon);
        } else {
            QFont f = option.font;
            f.setPointSizeF(11.0);
            p->setFont(f);
            p->setPen(list_->textIsBlack(row) ? option.palette.color(QPalette::Text) : QColor(Qt::gray));
            p->drawText(r.adjusted(4, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap, list_->rowText(row));
        }
    }

private:
    VDLThreadListView* list_;
};

VDLThreadListView::VDLThreadListView(QWidget* parent)
    : QTableWidget(parent), liveGeneration_(std::make_shared<std::atomic<quint64>>(0)) {
    setObjectName("VDLThreadListView");
    setColumnCount(3);
    setHorizontalHeaderLabels({"color", "icon", "text"});
    horizontalHeader()->hide();
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(1, QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    horizontalHeader()->setSectionsMovable(false);
    setColumnWidth(0, kSwatchWidth + 2);
    setColumnWidth(1, kRowHeight + 4);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setShowGrid(false);
    setWordWrap(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setItemDelegate(new VDLThreadListItemDelegate(this));
    QPalette pal = palette();
    pal.setColor(QPalette::Base, pal.color(QPalette::Midlight));
    setPalette(pal);
    setMinimumWidth(200);
}

namespace {
// A chart whose threads carry catalogue codes (not the numbered colours of a design without one).
bool hasCodes(const VDLThread& t) {
    return !t.key().empty() && !t.palette().empty() && t.palette() != "Undefined" && t.key() != t.name();
}
}  // namespace

QString VDLThreadListView::rowText(int row) const {
    if (row < 0 || size_t(row) >= threads_.size()) return {};
    const VDLThread& t = threads_[size_t(row)];
    const QString name = QString::fromStdString(t.name());
    return hasCodes(t) ? QStringLiteral("%1  %2").arg(QString::fromStdString(t.key()), name) : name;
}

QString VDLThreadListView::rowToolTip(int row) const {
    if (row < 0 || size_t(row) >= threads_.size()) return {};
    const VDLThread& t = threads_[size_t(row)];
    QStringList lines{QStringLiteral("<b>%1</b>").arg(QString::fromStdString(t.name()).toHtmlEscaped())};
    if (hasCodes(t)) lines << tr("Code: %1").arg(QString::fromStdString(t.key()).toHtmlEscaped());
    if (!t.paletteName().empty()) lines << tr("Chart: %1").arg(QString::fromStdString(t.paletteName()).toHtmlEscaped());
    if (size_t(row) < stitchCounts_.size()) lines << tr("Stitches: %L1").arg(stitchCounts_[size_t(row)]);
    if (size_t(row) < threadMM_.size())
        lines << tr("Top thread: %1")
                     .arg(QString::fromStdString(
                         VDLSewingFacts::lengthText(threadMM_[size_t(row)], VDLValueTransformer::measurementUnit())));
    lines << tr("Thread %1 of %2").arg(row + 1).arg(threads_.size());
    return lines.join(QStringLiteral("<br>"));
}

bool VDLThreadListView::viewportEvent(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const int row = rowAt(help->pos().y());
        if (row >= 0) QToolTip::showText(help->globalPos(), rowToolTip(row), viewport());
        else QToolTip::hideText();
        return true;
    }
    return QTableWidget::viewportEvent(e);
}

VDLThreadListView::~VDLThreadListView() { liveGeneration_->store(~quint64(0)); }

int VDLThreadListView::iconPixels(double dpr) { return std::max(1, int(kRowHeight * (dpr > 0 ? dpr : 1.0) + 0.5)); }

QImage VDLThreadListView::renderThreadIcon(const VDLDesign& design, int index, int side) {
    return renderThreadIcon(design, design, index, side);
}

QImage VDLThreadListView::renderThreadIcon(const VDLDesign& whole, const VDLDesign& drawn, int index, int side) {
    auto ctx = VDLCairoContext::imageContext(side, side);
    if (!ctx || !ctx->ok()) return QImage();
    ctx->flipVertically(side);
    const double w = std::max(1.0, double(whole.designWidth()));
    const double h = std::max(1.0, double(whole.designHeight()));
    const double f = std::min(side / w / kMargin, side / h / kMargin);
    ctx->translate(side / 2.0 - w / 2 * f - whole.xMin() * f, side / 2.0 - h / 2 * f - whole.yMin() * f);
    ctx->scale(f, f);
    drawn.drawDesignInRect(VDLMakeRect(whole.xMin(), whole.yMin(), w, h), *ctx, false, false, false, index);
    QImage image(ctx->data(), side, side, ctx->stride(), QImage::Format_ARGB32_Premultiplied);
    return image.copy();
}

void VDLThreadListView::updateThreadList() {
    ++generation_;
    liveGeneration_->store(generation_);
    rightClickedRow_ = -1;
    if (!parentDocument_) {
        threads_.clear();
        threadIcons_.clear();
        iconsPending_ = 0;
        setRowCount(0);
        return;
    }
    // A copy with nothing selected and every thread shown: each picture shows its block undimmed.
    auto copy = std::make_shared<VDLDesign>(parentDocument_->myDesign().copy());
    copy->deselectAll();
    for (int32_t i = 0; i < int32_t(copy->threads().size()); ++i) copy->setIsShown(true, i);
    threads_ = copy->threads();
    threadIcons_.assign(threads_.size(), QImage());
    // Per block: the sewn stitches and the top thread they take (one pass).
    const VDLSewingFacts facts = VDLSewingFacts::of(*copy);
    threadMM_ = facts.threadMM;
    stitchCounts_.assign(threads_.size(), 0);
    {
        size_t block = 0;
        for (const VDLStitch& st : copy->stitches()) {
            if (st.isColorChange && block + 1 < stitchCounts_.size()) ++block;
            if (!st.isJumpStitch && !stitchCounts_.empty()) ++stitchCounts_[block];
        }
    }
    iconsPending_ = int(threads_.size());
    setRowCount(int(threads_.size()));
    for (int r = 0; r < rowCount(); ++r) setRowHeight(r, kRowHeight);
    viewport()->update();

    double dpr = devicePixelRatioF();
    if (QWindow* w = window()->windowHandle()) dpr = w->devicePixelRatio();
    const int side = iconPixels(dpr);
    const quint64 generation = generation_;
    auto live = liveGeneration_;
    QPointer<VDLThreadListView> self(this);
    if (threads_.empty() || copy->stitches().empty()) {
        iconsPending_ = 0;
        emit iconsReady();
        return;
    }
    QThreadPool::globalInstance()->start([copy, side, generation, live, self, dpr] {
        const int n = int(copy->threads().size());
        // Where each block starts: the record that opens it (block 0 at the first record).
        std::vector<uint64_t> starts;
        const std::vector<VDLStitch>& stitches = copy->stitches();
        for (uint64_t k = 0; k < stitches.size() && int(starts.size()) < n + 1; ++k)
            if (k == 0 || stitches[size_t(k)].isColorChange) starts.push_back(k);
        // Each block drawn from a part of the design that starts where it starts (the walk to
        // it goes on from the previous block's), so all pictures together cost one pass.
        VDLPlaybackCursor cursor;
        for (int i = 0; i < n; ++i) {
            if (live->load() != generation) return;  // superseded by a newer rebuild
            QImage icon;
            if (i >= 1 && size_t(i) < starts.size()) {
                const uint64_t first = starts[size_t(i)];
                const uint64_t last = size_t(i) + 1 < starts.size() ? starts[size_t(i) + 1] - 1 : stitches.size() - 1;
                std::optional<VDLDesign> part = cursor.segment(copy, VDLRange{first + 1, last > first ? last - first - 1 : 0});
                // The part's block 0 is the one in force before FIRST (the previous one).
                if (part) icon = renderThreadIcon(*copy, *part, 1, side);
                else icon = renderThreadIcon(*copy, i, side);
            } else {
                icon = renderThreadIcon(*copy, i, side);
            }
            icon.setDevicePixelRatio(dpr);
            QMetaObject::invokeMethod(
                qApp, [self, generation, i, icon] {
                    if (self) self->iconArrived(generation, i, icon);
                },
                Qt::QueuedConnection);
        }
    });
}

void VDLThreadListView::iconArrived(quint64 generation, int row, QImage image) {
    if (generation != generation_ || row < 0 || size_t(row) >= threadIcons_.size()) return;
    threadIcons_[size_t(row)] = std::move(image);
    --iconsPending_;
    viewport()->update(visualRect(model()->index(row, 1)));
    if (iconsPending_ == 0) emit iconsReady();
}

QImage VDLThreadListView::threadIcon(int row) const {
    return row >= 0 && size_t(row) < threadIcons_.size() ? threadIcons_[size_t(row)] : QImage();
}

bool VDLThreadListView::iconsComplete() const { return iconsPending_ == 0; }

bool VDLThreadListView::waitForIcons(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!iconsComplete() && !deadline.hasExpired()) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return iconsComplete();
}

void VDLThreadListView::selectThreadRow(int row) {
    selectedRow_ = row;
    viewport()->update();
}

void VDLThreadListView::deselectThreadRows() {
    selectedRow_ = -1;
    viewport()->update();
}

bool VDLThreadListView::textIsBlack(int row) const {
    if (rightClickedRow_ >= 0) return row == rightClickedRow_;
    if (selectedRow_ >= 0) return row == selectedRow_;
    return true;
}

void VDLThreadListView::clickRow(int row) {
    if (!parentDocument_ || row < 0 || row >= rowCount()) return;
    if (row == selectedRow_) {
        deselectThreadRows();
        parentDocument_->showAllThreads();
    } else {
        parentDocument_->showThread(row);
    }
}

int VDLThreadListView::dropTargetIndex(int from, int row) {
    if (from < 0 || row < 0 || from == row) return -1;
    const int to = from < row ? row - 1 : row;
    return to == from ? -1 : to;
}

void VDLThreadListView::dropRow(int from, int row) {
    if (!parentDocument_ || from >= rowCount() || row > rowCount()) return;
    const int to = dropTargetIndex(from, row);
    if (to >= 0) parentDocument_->moveThreadFromIndex(from, to);
}

QMenu* VDLThreadListView::contextMenuForRow(int row) {
    rightClickedRow_ = row;
    viewport()->update();
    auto* menu = new QMenu(uiText("CONTEXT_MENU_TITLE", "Contextual Menu"), this);
    const int count = rowCount();
    // A click below the last row (row -1) offers nothing.
    const bool valid = row >= 0 && row < count;
    struct Entry {
        const char* key;
        const char* english;
        const char* name;
        bool enabled;
        std::function<void()> act;
    };
    QPointer<VDLThreadListView> self(this);
    auto move = [self, row](int to) {
        if (self && self->parentDocument_) self->parentDocument_->moveThreadFromIndex(row, to);
    };
    const Entry entries[] = {
        {"MOVE_TREAD_TITLE_BACK", "Move to back", "moveThreadBack:", valid && row > 0, [=] { move(0); }},
        {"MOVE_TREAD_TITLE_DOWN", "Move down", "moveThreadDown:", valid && row > 0, [=] { move(row - 1); }},
        {"MOVE_TREAD_TITLE_UP", "Move up", "moveThreadUp:", valid && row < count - 1, [=] { move(row + 1); }},
        {"MOVE_TREAD_TITLE_FRONT", "Move to front", "moveThreadFront:", valid && row < count - 1, [=] { move(count - 1); }},
        {nullptr, nullptr, nullptr, false, {}},
        {"COMBINE_TREAD_TITLE", "Combine with previous", "combineThread:", valid && row > 0,
         [self, row] {
             if (self && self->parentDocument_) self->parentDocument_->deleteThreadWithIndex(row);
         }},
    };
    for (const Entry& e : entries) {
        if (!e.key) {
            menu->addSeparator();
            continue;
        }
        QAction* a = menu->addAction(uiText(e.key, e.english));
        a->setObjectName(e.name);
        a->setData(row);
        a->setEnabled(e.enabled);
        const bool enabled = e.enabled;
        auto act = e.act;
        // Each item repeats its test before acting (the design may have changed meanwhile).
        connect(a, &QAction::triggered, this, [act, enabled] {
            if (enabled) act();
        });
    }
    connect(menu, &QMenu::aboutToHide, this, [self] {
        if (!self) return;
        QMetaObject::invokeMethod(
            self,
            [self] {
                if (!self) return;
                self->rightClickedRow_ = -1;
                self->viewport()->update();
            },
            Qt::QueuedConnection);
    });
    return menu;
}

void VDLThreadListView::contextMenuEvent(QContextMenuEvent* e) {
    const int row = rowAt(e->pos().y());
    QMenu* menu = contextMenuForRow(row);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(e->globalPos());
}

void VDLThreadListView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QTableWidget::mousePressEvent(e);
        return;
    }
    pressRow_ = rowAt(e->position().toPoint().y());
    pressPos_ = e->position().toPoint();
    dragging_ = false;
}

void VDLThreadListView::mouseMoveEvent(QMouseEvent* e) {
    if (!(e->buttons() & Qt::LeftButton) || pressRow_ < 0 || dragging_) return;
    if ((e->position().toPoint() - pressPos_).manhattanLength() < QApplication::startDragDistance()) return;
    dragging_ = true;
    startRowDrag(pressRow_);
}

void VDLThreadListView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QTableWidget::mouseReleaseEvent(e);
        return;
    }
    const int row = rowAt(e->position().toPoint().y());
    if (!dragging_ && row >= 0 && row == pressRow_) clickRow(row);
    pressRow_ = -1;
    dragging_ = false;
}

void VDLThreadListView::startRowDrag(int row) {
    auto* drag = new QDrag(this);
    auto* mime = new QMimeData;
    mime->setData(kDragType, QByteArray::number(row));
    drag->setMimeData(mime);
    const QImage icon = threadIcon(row);
    if (!icon.isNull()) drag->setPixmap(QPixmap::fromImage(icon).scaled(48, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    drag->exec(Qt::MoveAction);
    dropGap_ = -1;
    viewport()->update();
}

int VDLThreadListView::dropRowAt(const QPoint& pos) const {
    const int row = rowAt(pos.y());
    if (row < 0) return rowCount();
    const QRect r = visualRect(model()->index(row, 0));
    return pos.y() < r.center().y() ? row : row + 1;
}

void VDLThreadListView::dragEnterEvent(QDragEnterEvent* e) {
    if (e->source() == this && e->mimeData()->hasFormat(kDragType)) e->acceptProposedAction();
    else e->ignore();
}

void VDLThreadListView::dragMoveEvent(QDragMoveEvent* e) {
    if (e->source() != this || !e->mimeData()->hasFormat(kDragType)) {
        e->ignore();
        return;
    }
    dropGap_ = dropRowAt(e->position().toPoint());
    viewport()->update();
    e->acceptProposedAction();
}

void VDLThreadListView::dragLeaveEvent(QDragLeaveEvent* e) {
    dropGap_ = -1;
    viewport()->update();
    QTableWidget::dragLeaveEvent(e);
}

void VDLThreadListView::dropEvent(QDropEvent* e) {
    dropGap_ = -1;
    viewport()->update();
    if (e->source() != this || !e->mimeData()->hasFormat(kDragType)) {
        e->ignore();
        return;
    }
    bool ok = false;
    const int from = e->mimeData()->data(kDragType).toInt(&ok);
    const int row = dropRowAt(e->position().toPoint());
    // The table itself never moves rows: the document moves the block and rebuilds the list.
    e->setDropAction(Qt::IgnoreAction);
    e->accept();
    if (ok) dropRow(from, row);
}

void VDLThreadListView::paintEvent(QPaintEvent* e) {
    QTableWidget::paintEvent(e);
    QPainter p(viewport());
    // Horizontal grid lines, only down to the last row.
    p.setPen(QColor(0, 0, 0, 40));
    for (int r = 0; r < rowCount(); ++r) {
        const int y = rowViewportPosition(r) + rowHeight(r) - 1;
        p.drawLine(0, y, viewport()->width(), y);
    }
    if (dropGap_ >= 0) {
        const int y = dropGap_ < rowCount() ? rowViewportPosition(dropGap_)
                                           : (rowCount() ? rowViewportPosition(rowCount() - 1) + kRowHeight : 0);
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.drawLine(0, y, viewport()->width(), y);
    }
}
