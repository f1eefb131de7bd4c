#include "VDLDocument.h"

#include <QAction>
#include <QMainWindow>
#include <QMessageBox>
#include <QUndoStack>

VDLDocument::VDLDocument() : undoStack_(new QUndoStack(this)) {}
VDLDocument::~VDLDocument() = default;
VDLDocument* VDLDocument::open(const QString&, VDLError*) { return nullptr; }
void VDLDocument::setDesign(VDLDesign d) { design_ = std::move(d); }
QMainWindow* VDLDocument::window() const { return nullptr; }
QString VDLDocument::displayName() const { return fileName_; }
QString VDLDocument::fileType() const { return fileType_; }
bool VDLDocument::isDocumentEdited() const { return !undoStack_->isClean(); }
bool VDLDocument::readFromURL(const QString&, VDLError*) { return false; }
bool VDLDocument::revertToContentsOfURL(const QString&, VDLError*) { return false; }
bool VDLDocument::saveToURL(const QString&, VDLError*) { return false; }
bool VDLDocument::saveCopyToURL(const QString&, VDLError*) { return false; }
void VDLDocument::setViewScaling(float s) { viewScaling_ = s; }
void VDLDocument::updateView() {}
void VDLDocument::updateToolbar() {}
void VDLDocument::setWindowTitle() {}
void VDLDocument::showThread(int) {}
void VDLDocument::showAllThreads() {}
void VDLDocument::setThreadListWidget(QWidget* w) { threadList_ = w; }
void VDLDocument::anyAlertDisplay(const QString&, const QString&, int) {}
bool VDLDocument::validateUserInterfaceItem(QAction*) { return true; }
bool VDLDocument::isCentered() const { return true; }
QString VDLDocument::patternVersionText() const { return {}; }
QString VDLDocument::patternDimensionText() const { return {}; }
QString VDLDocument::patternStitchesText() const { return {}; }
QString VDLDocument::patternColorsText() const { return {}; }
QString VDLDocument::patternPaletteText() const { return {}; }
QAction* VDLDocument::selectModeAction(int) const { return nullptr; }
QAction* VDLDocument::toolbarAction(const char*) const { return nullptr; }
std::string VDLDocument::encodeRestorableState() const { return {}; }
bool VDLDocument::restoreState(const std::string&) { return false; }
void VDLDocument::moveByVector(double, double, std::optional<VDLDesign>) {}
void VDLDocument::changeWithUndoPalette(const std::string&, bool) {}
void VDLDocument::saveDocument(QObject*) {}
void VDLDocument::saveDocumentAs(QObject*) {}
void VDLDocument::saveDocumentTo(QObject*) {}
void VDLDocument::revertDocumentToSaved(QObject*) {}
void VDLDocument::zoomIn(QObject*) {}
void VDLDocument::zoomOut(QObject*) {}
void VDLDocument::zoomToFit(QObject*) {}
void VDLDocument::zoomDesign(QObject*) {}
void VDLDocument::showAllThreadsAction(QObject*) {}
void VDLDocument::changePalette(QObject*) {}
void VDLDocument::closeDocument(QObject*) {}
void VDLDocument::selectRect(QObject*) {}
void VDLDocument::selectSection(QObject*) {}
void VDLDocument::selectStitch(QObject*) {}
void VDLDocument::measureDistance(QObject*) {}
void VDLDocument::selectStitches(QObject*) {}
void VDLDocument::showNotAvailable(const QString& command) {
    QMessageBox::information(nullptr, QStringLiteral("Vardelle"),
                             QStringLiteral("\"%1\" is not available yet.").arg(command));
}
QString VDLDocument::title() const { return {}; }
