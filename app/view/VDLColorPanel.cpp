#include "VDLColorPanel.h"

#include "VDLColorList.h"
#include "VDLLocalization.h"

#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {
QPointer<VDLColorPanel> gPanel;

constexpr int kCodeRole = Qt::UserRole;
constexpr int kNameRole = Qt::UserRole + 1;
constexpr int kColorRole = Qt::UserRole + 2;

QString uiText(const char* key, const char* english) {
    return QString::fromStdString(VDLLocalizedString(key, "VDLDocument", english));
}

QIcon swatch(const QColor& c) {
    QPixmap p(24, 16);
    p.fill(c);
    QPainter painter(&p);
    painter.setPen(QColor(0, 0, 0, 90));
    painter.drawRect(0, 0, 23, 15);
    return QIcon(p);
}
}  // namespace

const QStringList& VDLColorPanel::paletteNames() {
    static const QStringList names{"WonderFil Splendor", "Sulky Rayon",      "Robison-Anton Poly", "Poly-X40 Polyester",
                                   "Marathon Rayon",     "Madeira Rayon",    "Madeira Polyneon",   "Janome",
                                   "Fufu Rayon",         "Floriani Polyester", "Coats Trilobal",   "Coats Rayon",
                                   "Brother Country",    "Brother",          "Ackermann Isacord"};
    return names;
}

VDLColorPanel* VDLColorPanel::sharedColorPanel() {
    if (!gPanel) gPanel = new VDLColorPanel();
    return gPanel;
}

bool VDLColorPanel::hasSharedColorPanel() { return !gPanel.isNull(); }

VDLColorPanel::VDLColorPanel(QWidget* parent) : QWidget(parent, Qt::Tool) {
    setWindowTitle(uiText("COLOR_PANEL_TITLE", "Colors"));
    setObjectName("VDLColorPanel");
    tabs_ = new QTabWidget(this);

    auto* lists = new QWidget(tabs_);
    paletteBox_ = new QComboBox(lists);
    for (const QString& p : paletteNames())
        paletteBox_->addItem(QString::fromStdString(VDLLocalizedString(p.toStdString(), p.toStdString(), p.toStdString())), p);
    search_ = new QLineEdit(lists);
    search_->setPlaceholderText(uiText("COLOR_PANEL_SEARCH", "Search code or name"));
    search_->setClearButtonEnabled(true);
    list_ = new QListWidget(lists);
    list_->setIconSize(QSize(24, 16));
    list_->setUniformItemSizes(true);
    auto* listLayout = new QVBoxLayout(lists);
    listLayout->addWidget(paletteBox_);
    listLayout->addWidget(search_);
    listLayout->addWidget(list_, 1);
    tabs_->addTab(lists, uiText("COLOR_PANEL_LISTS", "Thread Charts"));

    picker_ = new QColorDialog(tabs_);
    picker_->setWindowFlags(Qt::Widget);
    picker_->setOptions(QColorDialog::DontUseNativeDialog | QColorDialog::NoButtons);
    tabs_->addTab(picker_, uiText("COLOR_PANEL_PICKER", "Color Picker"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(tabs_);

    // The picker reports every intermediate colour while the user drags; the delegate gets the
    // colour the user settles on.
    pickerDelay_ = new QTimer(this);
    pickerDelay_->setSingleShot(true);
    pickerDelay_->setInterval(300);
    connect(pickerDelay_, &QTimer::timeout, this, [this] { send(pendingPick_); });
    connect(picker_, &QColorDialog::currentColorChanged, this, [this](const QColor& c) {
        if (settingColor_) return;
        pendingPick_ = c;
        pickerDelay_->start();
    });
    connect(paletteBox_, &QComboBox::currentIndexChanged, this, [this] { fillList(); });
    connect(search_, &QLineEdit::textChanged, this, [this] { fillList(); });
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { pickEntry(list_->row(item)); });
    fillList();
    resize(320, 460);
}

QString VDLColorPanel::currentPalette() const { return paletteBox_->currentData().toString(); }

void VDLColorPanel::selectPalette(const QString& palette) {
    const int i = paletteBox_->findData(palette);
    if (i >= 0) paletteBox_->setCurrentIndex(i);
}

void VDLColorPanel::setSearchText(const QString& text) { search_->setText(text); }

void VDLColorPanel::fillList() {
    list_->clear();
    const std::string palette = currentPalette().toStdString();
    auto chart = VDLColorList::colorListForPalette(palette);
    const QString needle = search_->text().trimmed();
    for (const std::string& key : chart->allKeys()) {
        const VDLColor c = *chart->colorWithKey(key);
        const QString code = QString::fromStdString(key);
        const QString name = QString::fromStdString(VDLLocalizedString(key, palette, "Unknown color"));
        if (!needle.isEmpty() && !code.contains(needle, Qt::CaseInsensitive) && !name.contains(needle, Qt::CaseInsensitive))
            continue;
        const QColor qc = QColor::fromRgbF(float(c.red()), float(c.green()), float(c.blue()));
        auto* item = new QListWidgetItem(swatch(qc), code + "  " + name, list_);
        item->setData(kCodeRole, code);
        item->setData(kNameRole, name);
        item->setData(kColorRole, qc);
    }
}

void VDLColorPanel::showEntry(const QString& palette, const QString& key) {
    if (paletteBox_->findData(palette) < 0) return;
    search_->clear();
    selectPalette(palette);
    for (int i = 0; i < list_->count(); ++i)
        if (list_->item(i)->data(kCodeRole).toString() == key) {
            list_->setCurrentRow(i);
            list_->scrollToItem(list_->item(i), QAbstractItemView::PositionAtCenter);
            return;
        }
}

void VDLColorPanel::placeBeside(QWidget* window) {
    if (!window || placed_) return;
    placed_ = true;
    const QRect w = window->frameGeometry();
    QScreen* screen = window->screen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    QPoint at(w.right() + 8, w.top());
    if (at.x() + width() > avail.right()) at.setX(std::max(avail.left(), w.left() - width() - 8));
    move(at);
}

int VDLColorPanel::entryCount() const { return list_->count(); }
QString VDLColorPanel::entryCode(int row) const {
    auto* item = list_->item(row);
    return item ? item->data(kCodeRole).toString() : QString();
}
QString VDLColorPanel::entryName(int row) const {
    auto* item = list_->item(row);
    return item ? item->data(kNameRole).toString() : QString();
}

void VDLColorPanel::pickEntry(int row) {
    auto* item = list_->item(row);
    if (!item) return;
    list_->setCurrentRow(row);
    send(item->data(kColorRole).value<QColor>());
}

void VDLColorPanel::pickColor(const QColor& c) {
    pickerDelay_->stop();
    send(c);
}

void VDLColorPanel::setColor(const QColor& c) {
    pickerDelay_->stop();
    color_ = c;
    settingColor_ = true;
    picker_->setCurrentColor(c);
    settingColor_ = false;
}

void VDLColorPanel::send(const QColor& c) {
    if (!c.isValid()) return;
    setColor(QColor::fromRgbF(c.redF(), c.greenF(), c.blueF()));
    emit colorPicked(color_);
    if (delegate_) QMetaObject::invokeMethod(delegate_, "changeColor", Qt::DirectConnection, Q_ARG(QObject*, this));
}
