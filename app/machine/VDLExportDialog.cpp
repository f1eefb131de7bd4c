#include "VDLExportDialog.h"

#include "VDLAppController.h"
#include "VDLDefaults.h"
#include "VDLFormat.h"
#include "VDLLocalization.h"
#include "VDLMediaCleaner.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QScopeGuard>
#include <QPainter>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QString text(const char* key, const char* englishDefault) {
    return QString::fromStdString(VDLLocalizedString(key, "VDLDocument", englishDefault));
}

QString formatted(const QString& format, const QString& arg) {
    return QString::fromStdString(VDLFormat(format.toStdString(), arg.toStdString()));
}

// "#,##0" in the user's locale.
QString grouped(qint64 n) {
    QLocale locale;
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale.toString(n);
}

// Entries a folder holds, hidden ones included (the machine sees them too).
qint64 entryCount(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).size();
}

// The resolved form of a path that may not exist yet: its folder resolved, its name kept.
QString resolvedPath(const QString& path) {
    const QFileInfo info(path);
    if (info.exists()) return info.canonicalFilePath();
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + '/' + info.fileName();
}

std::optional<VDLVolumeLister::Roots>& defaultListerRoots() {
    static std::optional<VDLVolumeLister::Roots> roots;
    return roots;
}

enum { kDetailRole = Qt::UserRole + 1 };

// Two lines per volume: the name, and the detail line in the small font; white in the selected
// row, otherwise the name in the text colour and the detail in grey.
class VolumeCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const QString name = index.data(Qt::DisplayRole).toString();
        const QString detail = index.data(kDetailRole).toString();
        opt.text.clear();
        QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
        const bool selected = opt.state & QStyle::State_Selected;
        const QRect r = opt.rect.adjusted(4, 2, -4, -2);
        QFont small = opt.font;
        small.setPointSizeF(std::max(6.0, opt.font.pointSizeF() * 0.85));
        const int nameHeight = QFontMetrics(opt.font).height();
        painter->save();
        painter->setFont(opt.font);
        painter->setPen(selected ? opt.palette.color(QPalette::HighlightedText) : opt.palette.color(QPalette::Text));
        painter->drawText(QRect(r.left(), r.top(), r.width(), nameHeight), Qt::AlignLeft | Qt::AlignVCenter, name);
        painter->setFont(small);
        painter->setPen(selected ? opt.palette.color(QPalette::HighlightedText) : QColor(Qt::gray));
        painter->drawText(QRect(r.left(), r.top() + nameHeight, r.width(), r.height() - nameHeight),
                          Qt::AlignLeft | Qt::AlignTop, detail);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize s = QStyledItemDelegate::sizeHint(option, index);
        const QFontMetrics fm(option.font);
        s.setHeight(std::max(s.height(), fm.height() * 2 + 6));
        s.setWidth(std::max(s.width(), fm.horizontalAdvance(index.data(kDetailRole).toString()) + 12));
        return s;
    }
};

// Lists only what the machine's rules show.
class MachineFilterProxy : public QSortFilterProxyModel {
public:
    explicit MachineFilterProxy(const VDLExportSavePanel* panel) : panel_(panel) {}

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        auto* fs = qobject_cast<QFileSystemModel*>(sourceModel());
        if (!fs) return true;
        return panel_->shouldShowFilename(fs->filePath(fs->index(row, 0, parent)));
    }

private:
    const VDLExportSavePanel* panel_;
};

}  // namespace

// ---- Save dialog ----------------------------------------------------------------------------

VDLExportSavePanel::VDLExportSavePanel(const VDLMachine& machine, const QString& mountPath, QWidget* parent)
    : QFileDialog(parent), machine_(machine) {
    const QString resolved = QFileInfo(mountPath).canonicalFilePath();
    mountPath_ = resolved.isEmpty() ? mountPath : resolved;
    setOption(QFileDialog::DontUseNativeDialog, true);
    setProxyModel(new MachineFilterProxy(this));
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    // Folders may be made only where the machine needs a choice of them.
    setOption(QFileDialog::ReadOnly, !machine_.canCreateFolders());
    setSidebarUrls({QUrl::fromLocalFile(mountPath_)});
    // The types the machine reads, in either case (FAT names often come upper-case).
    QStringList patterns, types;
    for (const std::string& t : machine_.allowedFileTypes()) {
        const QString type = QString::fromStdString(t);
        types << type;
        patterns << "*." + type.toLower() << "*." + type;
    }
    setNameFilter(QStringLiteral("%1 (%2)").arg(types.join(QStringLiteral(", ")), patterns.join(' ')));
}

bool VDLExportSavePanel::shouldShowFilename(const QString& path) const {
    const QString p = resolvedPath(path);
    const QFileInfo info(p);
    const bool folder = info.isDir();
    return machine_.shouldShowFilename(p.toStdString(), mountPath_.toStdString(), folder,
                                       folder ? entryCount(p) : 0);
}

bool VDLExportSavePanel::isValidFilename(const QString& path) const {
    const QString p = resolvedPath(path);
    return machine_.isValidFilename(p.toStdString(), mountPath_.toStdString(),
                                    entryCount(QFileInfo(p).absolutePath()));
}

void VDLExportSavePanel::accept() {
    const QStringList files = selectedFiles();
    if (files.isEmpty() || QFileInfo(files.first()).isDir()) {
        QFileDialog::accept();  // opens the folder
        return;
    }
    if (!isValidFilename(files.first())) {
        emit refusedFilename(files.first());
        QApplication::beep();
        auto* box = new QMessageBox(QMessageBox::Warning, text("EXPORT_TITLE", "Export"),
                                    text("EXPORT_INVALID_TARGET",
                                       "The machine does not read a file there. Choose a folder it reads and a "
                                       "file type it accepts."),
                                    QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        box->open();
        return;
    }
    QFileDialog::accept();
}

// ---- Export sheet ---------------------------------------------------------------------------

void VDLExportDialog::setDefaultListerRoots(std::optional<VDLVolumeLister::Roots> roots) {
    defaultListerRoots() = std::move(roots);
}

QString VDLExportDialog::machineTitle(int32_t ident) {
    static const char* const titles[] = {
        "Any machine: all formats, any folder",
        "JEF in EMB/EmbF, up to 64,000 stitches",
        "JEF in EmbF5, up to 64,000 stitches",
        "JEF in EmbF5/MyDesign, up to 64,000 stitches",
        "JEF in EMB_FILE or PC_LINK, up to 100,000 stitches",
        "JEF in EmbF5 to EmbF16, up to 100,000 stitches",
        "JEF in EMB/EmbF, up to 100,000 stitches",
        "JEF or DST in EMB/EmbF, up to 200,000 stitches",
        "JEF in EMB/EmbF, up to 200,000 stitches",
    };
    if (ident < 0 || ident >= int32_t(std::size(titles))) return {};
    const std::string key = "EXPORT_MACHINE_" + std::to_string(ident);
    return QString::fromStdString(VDLLocalizedString(key, "VDLDocument", titles[ident]));
}

VDLExportDialog::VDLExportDialog(const VDLDesign& design, QWidget* parent, VDLVolumeLister* lister)
    : QDialog(parent), design_(design.copy()), lister_(lister) {
    if (!lister_) {
        const auto& roots = defaultListerRoots();
        lister_ = roots ? new VDLVolumeLister(*roots, this) : new VDLVolumeLister(this);
        ownsLister_ = true;
    }
    setWindowTitle(text("EXPORT_ALERT_TITLE", "Export Design"));
    setWindowModality(Qt::WindowModal);

    machineType_ = new QComboBox(this);
    // Each machine with the file types it takes, so entries of one maker are told apart.
    for (int32_t ident : VDLMachine::allIdents()) {
        QString title = machineTitle(ident);
        if (const auto m = VDLMachine::machineWithIdent(ident); m && !m->allowedFileTypes().empty()) {
            QStringList types;
            for (const std::string& t : m->allowedFileTypes()) types << QString::fromStdString(t).toUpper();
            title += QStringLiteral("  —  ") + types.join(QStringLiteral(", "));
        }
        machineType_->addItem(title, ident);
    }
    maxStitches_ = new QLabel(this);
    fileTypes_ = new QLabel(this);
    rootFolders_ = new QLabel(this);
    subFolderRange_ = new QLabel(this);
    filesPerFolder_ = new QLabel(this);

    auto* form = new QFormLayout;
    form->addRow(text("EXPORT_MACHINE", "Machine:"), machineType_);
    form->addRow(text("EXPORT_MAX_STITCHES", "Stitches:"), maxStitches_);
    form->addRow(text("EXPORT_FILE_TYPES", "File types:"), fileTypes_);
    form->addRow(text("EXPORT_ROOT_FOLDERS", "Root folders:"), rootFolders_);
    form->addRow(text("EXPORT_SUBFOLDERS", "Subfolders:"), subFolderRange_);
    form->addRow(text("EXPORT_FILES_PER_FOLDER", "Files per folder:"), filesPerFolder_);

    volumeTable_ = new QTableWidget(0, 2, this);
    volumeTable_->setObjectName(QStringLiteral("volumeTable"));
    volumeTable_->horizontalHeader()->hide();
    volumeTable_->verticalHeader()->hide();
    volumeTable_->setSelectionBehavior(QAbstractItemView::SelectRows);
    volumeTable_->setSelectionMode(QAbstractItemView::SingleSelection);
    volumeTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    volumeTable_->setShowGrid(false);
    volumeTable_->setIconSize(QSize(32, 32));
    volumeTable_->setItemDelegateForColumn(1, new VolumeCellDelegate(volumeTable_));
    volumeTable_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    volumeTable_->horizontalHeader()->setStretchLastSection(true);
    volumeTable_->setMinimumSize(380, 160);

    // With no medium for the machine: what to do instead of an empty list.
    noMedium_ = new QLabel(this);
    noMedium_->setObjectName(QStringLiteral("noMedium"));
    noMedium_->setWordWrap(true);
    noMedium_->setAlignment(Qt::AlignCenter);
    noMedium_->setFrameShape(QFrame::StyledPanel);
    noMedium_->setMinimumSize(380, 160);
    noMedium_->setText(text("EXPORT_NO_MEDIUM",
                            "No removable medium for this machine is connected.\n\nInsert the machine's USB stick "
                            "or memory card, then choose Refresh."));
    noMedium_->hide();
    refreshButton_ = new QPushButton(text("EXPORT_REFRESH", "Refresh"), this);
    refreshButton_->setObjectName(QStringLiteral("refreshVolumes"));
    connect(refreshButton_, &QPushButton::clicked, this, [this] { refreshVolumeTable(); });

    ejectVolume_ = new QCheckBox(text("EXPORT_EJECT", "Clean up and eject the medium after the export"), this);

    auto* buttons = new QDialogButtonBox(this);
    exportOkay_ = buttons->addButton(text("EXPORT_TITLE", "Export"), QDialogButtonBox::AcceptRole);
    exportOkay_->setDefault(true);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    QPushButton* help = buttons->addButton(QDialogButtonBox::Help);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(volumeTable_, 1);
    layout->addWidget(noMedium_, 1);
    auto* refreshRow = new QHBoxLayout;
    refreshRow->addStretch(1);
    refreshRow->addWidget(refreshButton_);
    layout->addLayout(refreshRow);
    layout->addWidget(ejectVolume_);
    layout->addWidget(buttons);

    connect(machineType_, &QComboBox::activated, this, [this] { selectMachine(); });
    connect(volumeTable_, &QTableWidget::itemSelectionChanged, this, [this] { tableViewSelectionDidChange(); });
    connect(exportOkay_, &QPushButton::clicked, this, &VDLExportDialog::exportDesignEnded);
    connect(cancel, &QPushButton::clicked, this, &VDLExportDialog::reject);
    connect(help, &QPushButton::clicked, this, &VDLExportDialog::exportDesignHelp);
    connect(lister_, &VDLVolumeLister::volumesChanged, this, [this] {
        if (isVisible()) refreshVolumeTable();
    });
}

VDLExportDialog::~VDLExportDialog() {
    if (lister_ && !ownsLister_) lister_->stopWatching();
}

void VDLExportDialog::exportDesignDialog() {
    const int tag = VDLDefaults::standard().integerForKey(QStringLiteral("MachineTag"));
    const int item = machineType_->findData(tag);
    machineType_->setCurrentIndex(item >= 0 ? item : 0);
    selectMachine();
    lister_->startWatching();
    exportOkay_->setEnabled(false);
    volumeTable_->clearSelection();
    open();
}

std::optional<VDLMachine> VDLExportDialog::selectedMachine() const {
    return VDLMachine::machineWithIdent(machineType_->currentData().toInt());
}

void VDLExportDialog::selectMachine() {
    const auto machine = selectedMachine();
    if (!machine) return;
    // The volume list filters by the stored machine; keep it the pop-up's.
    if (VDLDefaults::standard().integerForKey(QStringLiteral("MachineTag")) != machine->ident() ||
        !VDLDefaults::standard().contains(QStringLiteral("MachineTag")))
        VDLDefaults::standard().setValue(QStringLiteral("MachineTag"), machine->ident());
    refreshVolumeTable();
    const QString unlimited = text("EXPORT_UNLIMITED", "unlimited");
    maxStitches_->setText(machine->maxStitches() == -1 ? unlimited
                                                       : formatted("max. %@", grouped(machine->maxStitches())));
    QStringList types;
    for (const std::string& t : machine->allowedFileTypes()) types << QString::fromStdString(t);
    fileTypes_->setText(types.join(QStringLiteral(", ")));
    rootFolders_->setText(QString::fromStdString(machine->rootFoldersText()));
    subFolderRange_->setText(QString::fromStdString(machine->subfolderRangeText()));
    filesPerFolder_->setText(machine->maxFilesPerFolder() == -1
                                 ? unlimited
                                 : formatted("max. %@", grouped(machine->maxFilesPerFolder())));
}

void VDLExportDialog::refreshVolumeTable() {
    const QString selectedPath = [&] {
        const auto rows = volumeTable_->selectionModel()->selectedRows();
        return rows.isEmpty() ? QString() : exportVolumePaths_.value(rows.first().row());
    }();
    exportVolumePaths_.clear();
    exportVolumeDetails_.clear();
    volumes_.clear();
    const int tag = VDLDefaults::standard().integerForKey(QStringLiteral("MachineTag"));
    if (const auto machine = VDLMachine::machineWithIdent(tag)) volumes_ = lister_->volumesForMachine(*machine);

    const QSignalBlocker block(volumeTable_);
    volumeTable_->clearContents();
    volumeTable_->setRowCount(int(volumes_.size()));
    QFileIconProvider icons;
    const QIcon driveIcon = QIcon::fromTheme(QStringLiteral("drive-removable-media"), icons.icon(QFileIconProvider::Drive));
    int reselect = -1;
    for (int row = 0; row < volumes_.size(); ++row) {
        const VDLVolume& v = volumes_[row];
        exportVolumePaths_ << v.mountPath;
        exportVolumeDetails_ << v.detail;
        auto* icon = new QTableWidgetItem(driveIcon, QString());
        auto* text = new QTableWidgetItem(v.name);
        text->setData(kDetailRole, v.detail);
        text->setToolTip(v.mountPath);
        volumeTable_->setItem(row, 0, icon);
        volumeTable_->setItem(row, 1, text);
        if (!selectedPath.isEmpty() && v.mountPath == selectedPath) reselect = row;
    }
    volumeTable_->resizeRowsToContents();
    volumeTable_->setVisible(!volumes_.isEmpty());
    noMedium_->setVisible(volumes_.isEmpty());
    if (reselect >= 0) volumeTable_->selectRow(reselect);
    else volumeTable_->clearSelection();
    tableViewSelectionDidChange();
}

void VDLExportDialog::tableViewSelectionDidChange() {
    exportOkay_->setEnabled(!volumeTable_->selectionModel()->selectedRows().isEmpty());
}

QString VDLExportDialog::proposedFileName(const VDLMachine& machine) const {
    QString name = QString::fromStdString(design_.designName());
    if (name.isEmpty()) name = text("EXPORT_UNTITLED", "Design");
    const QFileInfo info(name);
    const QString ext = info.suffix();
    if (!machine.allowsFileType(ext.toStdString()) && !machine.allowedFileTypes().empty()) {
        // Offer the name in a type the machine reads, in the case the name was written in.
        QString type = QString::fromStdString(machine.allowedFileTypes().front());
        if (!ext.isEmpty() && ext == ext.toLower()) type = type.toLower();
        name = (ext.isEmpty() ? name : info.completeBaseName()) + '.' + type;
    }
    return name;
}

void VDLExportDialog::exportDesignEnded() {
    const auto machine = selectedMachine();
    const auto rows = volumeTable_->selectionModel()->selectedRows();
    if (!machine || rows.isEmpty() || rows.first().row() >= volumes_.size()) return;
    const VDLVolume volume = volumes_[rows.first().row()];

    const qint64 elements = qint64(design_.numberOfStitches()) + design_.numberOfThreads();
    if (!machine->acceptsElementCount(elements)) {
        auto* box = new QMessageBox(QMessageBox::Critical, text("EXPORT_ALERT_TITLE", "Export Design"), QString(),
                                    QMessageBox::Ok, this);
        box->setObjectName(QStringLiteral("sizeAlert"));
        box->setText(box->windowTitle());
        box->setInformativeText(formatted(text("EXPORT_ALERT_STITCHES", "Too many stitches."),
                                          grouped(machine->maxStitches())));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::WindowModal);
        box->open();
        return;
    }

    const QString mount = volume.mountPath;
    const QString defaultFolder = mount + QString::fromStdString(machine->defaultFolder());
    if (!QDir().mkpath(defaultFolder)) {
        showAlert(text("EXPORT_TITLE", "Export"),
                  formatted(text("EXPORT_FOLDER_ERROR", "The folder %@ could not be made on the medium."),
                            QDir::cleanPath(defaultFolder)),
                  2);
        return;
    }

    exportMachine_ = machine;
    exportVolume_ = volume;
    delete savePanel_;
    savePanel_ = new VDLExportSavePanel(*machine, mount, this);
    savePanel_->setWindowTitle(text("EXPORT_TITLE", "Export"));
    savePanel_->setLabelText(QFileDialog::Accept, text("EXPORT_TITLE", "Export"));
    QString start = mount;
    if (machine->rootFolders() && !machine->rootFolders()->empty())
        start = mount + '/' + QString::fromStdString(machine->rootFolders()->front());
    savePanel_->setDirectory(start);
    savePanel_->selectFile(proposedFileName(*machine));
    savePanel_->setWindowModality(Qt::WindowModal);
    connect(savePanel_, &QFileDialog::finished, this, &VDLExportDialog::exportSaveEnded);
    savePanel_->open();
}

void VDLExportDialog::exportDesignCanceled() {
    lister_->stopWatching();
    QDialog::done(QDialog::Rejected);
}

void VDLExportDialog::reject() {
    exportDesignCanceled();
    emit exportFinished(false);
}

void VDLExportDialog::exportDesignHelp() {
    VDLAppController::openHelp(QStringLiteral("vdl2006"));
}

void VDLExportDialog::exportSaveEnded(int returnCode) {
    const QString path = savePanel_ ? savePanel_->selectedFiles().value(0) : QString();
    // The panel is still inside its own done() here, and the clean-up below runs nested event
    // loops: it is released only once this handler has returned.
    const auto releasePanel = qScopeGuard([panel = QPointer<VDLExportSavePanel>(savePanel_)] {
        if (panel) panel->deleteLater();
    });
    exportDesignCanceled();
    if (returnCode != QDialog::Accepted || path.isEmpty() || !exportMachine_) {
        emit exportFinished(false);
        return;
    }

    // A copy writes itself: the document's design, its name and its file stay as they are. The
    // copy stands for the file on the medium, so a thread file is written (or removed) beside
    // that file only, never beside the document's own.
    VDLDesign copy = design_.copy();
    copy.setDesignLocation(VDLURL::fileURLWithPath(path.toStdString()));
    VDLError error;
    if (!copy.exportDesignToURL(VDLURL::fileURLWithPath(path.toStdString()), &error)) {
        showAlert(text("EXPORT_TITLE", "Export"), QString::fromStdString(error.message()), 2);
        emit exportFinished(false);
        return;
    }
    if (!ejectVolume_->isChecked()) {
        showAlert(text("EXPORT_NOEJECT_TITLE", "Design exported"), text("EXPORT_NOEJECT_TEXT", "Export successful"), 1);
        emit exportFinished(true);
        return;
    }

    const QString volumeName = exportVolume_.name;
    VDLMediaCleaner cleaner(exportVolume_.mountPath);
    if (cleanerSetup_) cleanerSetup_(cleaner);
    taskStalls_ = !cleaner.run();
    if (taskStalls_) {
        showAlert(text("EXPORT_FILEERROR_TITLE", "Design exported, files not deleted"),
                  formatted(text("EXPORT_FILEERROR_TEXT", "Export successful, not deleted"), volumeName), 2);
    } else if (lister_->ejectVolume(exportVolume_)) {
        showAlert(text("EXPORT_EJECT_TITLE", "Design exported and drive ejected"),
                  formatted(text("EXPORT_EJECT_TEXT", "Export successful, ejected"), volumeName), 1);
    } else {
        showAlert(text("EXPORT_EJECTERROR_TITLE", "Design exported, drive not ejected"),
                  formatted(text("EXPORT_EJECTERROR_TEXT", "Export successful, not ejected"), volumeName), 2);
    }
    emit exportFinished(true);
}

void VDLExportDialog::showAlert(const QString& message, const QString& info, int style) {
    if (alert_) {
        alert_(message, info, style);
        return;
    }
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    const QMessageBox::Icon icon = style == 0   ? QMessageBox::Warning
                                   : style == 2 ? QMessageBox::Critical
                                                : QMessageBox::Information;
    auto* box = new QMessageBox(icon, message, QString(), QMessageBox::Ok, owner);
    box->setText(message);
    box->setInformativeText(info);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
    box->open();
}
