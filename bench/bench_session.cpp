// Quitting with a 1,000,000-stitch design that has unsaved changes, and the next launch
// bringing that window back. Measured: the time to keep the window states and their size on
// disk against the stitch list's own bytes; in a fresh process, the time from the start of the
// restoration to the window's first painted frame and the memory that took (peak resident size
// above what the process held before). Beside it, the obvious alternative: the whole design as a
// keyed archive (property-list XML), as window states were once written.
//
//   vardelle_session_bench            runs both halves (the second in a child process)
//   vardelle_session_bench --relaunch [FILE]   the second half alone, with the states already
//                                               written (or FILE opened without any, to compare)
#include "BenchDesigns.h"
#include "VDLAppController.h"
#include "VDLDefaults.h"
#include "VDLDesignView.h"
#include "VDLDocument.h"
#include "VDLDocumentController.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr int kStitches = 1000000;

// Peak and current resident size of this process, in bytes (from /proc).
long long statusBytes(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + std::strlen(key)) * 1024;
    return -1;
}

QString writeBigDst(const QString& folder) {
    const QString p = folder + QStringLiteral("/million.dst");
    writeRowsDst(p.toStdString(), kStitches);
    return p;
}

qint64 stateBytes() {
    qint64 total = 0;
    QDir dir(VDLDocumentController::windowStateFolder());
    for (const QFileInfo& f : dir.entryInfoList(QDir::Files)) total += f.size();
    return total;
}

// A window of a small design opened and closed, so that what the toolkit keeps for its first
// window (fonts, style, icons) is not counted against the design.
void warmUp(const QString& folder) {
    std::vector<VDLStitch> st;
    for (int i = 0; i < 100; ++i) st.emplace_back(i % 2 ? 20.0f : -20.0f, 3.0f, false, false);
    VDLDesign d;
    d.setStitches(std::move(st));
    d.threads().emplace_back("1", "Undefined");
    d.recomputeBounds();
    const QString p = folder + QStringLiteral("/small.dst");
    d.exportDesignToURL(VDLURL::fileURLWithPath(p.toStdString()), nullptr);
    VDLDocumentController* controller = VDLDocumentController::sharedDocumentController();
    if (VDLDocument* doc = controller->openDocumentWithContentsOfURL(p, nullptr, true)) {
        QApplication::processEvents();
        doc->patternView()->waitForRender(120000);
        doc->patternView()->repaint();
    }
    controller->closeAllDocumentsForTesting();
    QApplication::processEvents();
}

int relaunch(const QString& scratch, const QString& plainFile) {
    // The archives are read once: keep them aside while the warm-up window opens and closes.
    warmUp(scratch);
    const long long before = statusBytes("VmRSS:");
    QElapsedTimer t;
    t.start();
    QList<VDLDocument*> docs;
    if (!plainFile.isEmpty()) {
        // The comparison: the same file opened without any window state.
        if (VDLDocument* d = VDLDocumentController::sharedDocumentController()->openDocumentWithContentsOfURL(plainFile, nullptr, true))
            docs << d;
    } else {
        docs = VDLDocumentController::sharedDocumentController()->restoreWindowStates();
    }
    if (docs.size() != 1 || (plainFile.isEmpty() && !docs[0]->keptFromLastSession())) {
        std::fprintf(stderr, "relaunch: the kept window did not come back\n");
        return 1;
    }
    const double restoreMs = double(t.nsecsElapsed()) / 1e6;
    const long long afterRestore = statusBytes("VmHWM:");
    QApplication::processEvents();
    docs[0]->patternView()->waitForRender(120000);
    docs[0]->patternView()->repaint();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    const char* what = plainFile.isEmpty() ? "relaunch" : "plain open of the file, no window state";
    std::printf("%s: window up in %.0f ms\n", what, restoreMs);
    const long long peak = statusBytes("VmHWM:");
    std::printf("%s memory: peak %.1f MB above before once the window is up, %.1f MB now\n", what,
                double(afterRestore - before) / 1e6, double(statusBytes("VmRSS:") - before) / 1e6);
    const double listBytes = double(docs[0]->myDesign().stitches().size() * sizeof(VDLStitch));
    std::printf("%s to first frame: %.0f ms (target <= 1000)\n", what, ms);
    std::printf("%s memory: peak %.1f MB above the %.1f MB held before = %.2f x the stitch list (target <= 4)\n",
                what, double(peak - before) / 1e6, double(before) / 1e6, double(peak - before) / listBytes);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const bool second = argc > 1 && std::strcmp(argv[1], "--relaunch") == 0;
    QTemporaryDir home;
    if (!second) {
        setenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8().constData(), 1);
        setenv("XDG_STATE_HOME", (home.path() + "/state").toUtf8().constData(), 1);
        setenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8().constData(), 1);  // the desktop's recent files
    }
    QApplication app(argc, argv);
    VDLDefaults::standard().reload();
    VDLAppController::registerDefaults();
    VDLDefaults::standard().setValue("AlertWriteToURL", true);
    if (second) return relaunch(home.path(), argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString());

    VDLDocumentController* controller = VDLDocumentController::sharedDocumentController();
    VDLDocument* doc = controller->openDocumentWithContentsOfURL(writeBigDst(home.path()), nullptr, true);
    if (!doc) return 1;
    doc->selectAll(nullptr);
    doc->rotateR(nullptr);
    doc->deselectAll(nullptr);
    doc->patternView()->waitForRender(120000);
    const double listBytes = double(doc->myDesign().stitches().size() * sizeof(VDLStitch));
    std::printf("design: %zu stitches, stitch list %.1f MB\n", doc->myDesign().stitches().size(), listBytes / 1e6);

    QElapsedTimer t;
    t.start();
    controller->saveWindowStates();
    const double quitMs = double(t.nsecsElapsed()) / 1e6;
    std::printf("quit (window states kept): %.0f ms (target <= 300)\n", quitMs);
    std::printf("window state on disk: %.1f MB = %.2f x the stitch list (target <= 3)\n", double(stateBytes()) / 1e6,
                double(stateBytes()) / listBytes);

    // The alternative: the whole design in the archive.
    t.restart();
    const std::string xml = doc->myDesign().archivedXML();
    std::printf("alternative, whole design as XML archive: %.0f ms, %.1f MB = %.2f x the stitch list\n",
                double(t.nsecsElapsed()) / 1e6, double(xml.size()) / 1e6, double(xml.size()) / listBytes);
    const QString bigFile = doc->fileName();
    controller->closeAllDocumentsForTesting();

    QProcess plain;
    plain.setProcessChannelMode(QProcess::ForwardedChannels);
    plain.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--relaunch"), bigFile});
    plain.waitForFinished(600000);

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--relaunch")});
    child.waitForFinished(600000);
    return child.exitCode();
}
