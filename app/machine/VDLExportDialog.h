#pragma once
// app/machine: the machine catalogue, removable volumes, media clean-up and the export sheet.
// May use app/controller, model/ and platform/; nothing of the document or its view.

// The export sheet: writes a copy of a design straight onto the medium of an embroidery
// machine, in a folder that machine reads, then optionally cleans the medium of hidden desktop
// files and ejects it.
//
// Window-modal on the document window. The machine pop-up (tags = machine idents, the choice
// kept in the user default "MachineTag"), the machine's rules, the table of suitable volumes
// (refreshed while media come and go), the eject check box; "Export" checks the size, creates
// the machine's default folder and opens a save dialog that lists and accepts only what the
// machine reads (the rules of VDLMachine). The export sheet closes before the file is written.
#include "VDLDesign.h"
#include "VDLMachine.h"
#include "VDLVolumes.h"

#include <QDialog>
#include <QFileDialog>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class VDLMediaCleaner;

// The save dialog of the export: lists only what the machine shows, accepts only a valid target.
class VDLExportSavePanel : public QFileDialog {
    Q_OBJECT
public:
    VDLExportSavePanel(const VDLMachine& machine, const QString& mountPath, QWidget* parent);
    const VDLMachine& machine() const { return machine_; }
    // The rules on a real path: entries are counted on disk.
    bool shouldShowFilename(const QString& path) const;
    bool isValidFilename(const QString& path) const;

public slots:
    void accept() override;

signals:
    void refusedFilename(const QString& path);

private:
    VDLMachine machine_;
    QString mountPath_;
};

class VDLExportDialog : public QDialog {
    Q_OBJECT
public:
    // Alerts after the export (message, informative text, style 0 warning, 1 informational,
    // 2 critical); the document passes its own. The default is a window-modal message box on
    // the parent window.
    using AlertHandler = std::function<void(const QString& message, const QString& info, int style)>;

    // Takes a copy of DESIGN; the caller's design and its file are never touched. LISTER may be
    // shared; without one the dialog makes its own.
    VDLExportDialog(const VDLDesign& design, QWidget* parent, VDLVolumeLister* lister = nullptr);
    ~VDLExportDialog() override;

    void setAlertHandler(AlertHandler handler) { alert_ = std::move(handler); }
    // Tests adjust the clean-up (steps, watchdog) before it runs.
    void setCleanerSetup(std::function<void(VDLMediaCleaner&)> setup) { cleanerSetup_ = std::move(setup); }

    // Opens the sheet: selects the machine of "MachineTag", lists the volumes, watches for media.
    void exportDesignDialog();

    std::optional<VDLMachine> selectedMachine() const;
    const QStringList& exportVolumePaths() const { return exportVolumePaths_; }
    const QStringList& exportVolumeDetails() const { return exportVolumeDetails_; }
    bool taskStalls() const { return taskStalls_; }

    // Outlets (tests drive them).
    QComboBox* machineType() const { return machineType_; }
    QTableWidget* volumeTable() const { return volumeTable_; }
    QPushButton* exportOkay() const { return exportOkay_; }
    // Shown instead of the list when no medium for the machine is connected.
    QLabel* noMediumNote() const { return noMedium_; }
    QPushButton* refreshButton() const { return refreshButton_; }
    QCheckBox* ejectVolume() const { return ejectVolume_; }
    QLabel* maxStitchesField() const { return maxStitches_; }
    QLabel* fileTypesField() const { return fileTypes_; }
    QLabel* rootFoldersField() const { return rootFolders_; }
    QLabel* subFolderRangeField() const { return subFolderRange_; }
    QLabel* filesPerFolderField() const { return filesPerFolder_; }
    VDLExportSavePanel* savePanel() const { return savePanel_; }

    // Where sheets without a lister of their own look for media (tests); none = the system.
    static void setDefaultListerRoots(std::optional<VDLVolumeLister::Roots> roots);

    // The machine titles of the pop-up, by ident.
    static QString machineTitle(int32_t ident);

public slots:
    void selectMachine();
    void refreshVolumeTable();
    void exportDesignEnded();
    void exportDesignCanceled();
    void exportDesignHelp();
    void exportSaveEnded(int returnCode);
    // Cancel, Escape, closing the window.
    void reject() override;

signals:
    // After the last alert of an export (or when the save dialog was cancelled).
    void exportFinished(bool written);

private:
    void tableViewSelectionDidChange();
    void showAlert(const QString& message, const QString& info, int style);
    QString proposedFileName(const VDLMachine& machine) const;

    VDLDesign design_;
    VDLVolumeLister* lister_ = nullptr;
    bool ownsLister_ = false;
    AlertHandler alert_;
    std::function<void(VDLMediaCleaner&)> cleanerSetup_;
    QStringList exportVolumePaths_;
    QStringList exportVolumeDetails_;
    QList<VDLVolume> volumes_;
    bool taskStalls_ = false;

    QComboBox* machineType_ = nullptr;
    QTableWidget* volumeTable_ = nullptr;
    QPushButton* exportOkay_ = nullptr;
    QLabel* noMedium_ = nullptr;
    QPushButton* refreshButton_ = nullptr;
    QCheckBox* ejectVolume_ = nullptr;
    QLabel* maxStitches_ = nullptr;
    QLabel* fileTypes_ = nullptr;
    QLabel* rootFolders_ = nullptr;
    QLabel* subFolderRange_ = nullptr;
    QLabel* filesPerFolder_ = nullptr;
    QPointer<VDLExportSavePanel> savePanel_;
    // What the save dialog works on, fixed when "Export" is pressed.
    std::optional<VDLMachine> exportMachine_;
    VDLVolume exportVolume_;
};
