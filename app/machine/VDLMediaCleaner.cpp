#include "VDLMediaCleaner.h"

#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <unistd.h>

VDLMediaCleaner::VDLMediaCleaner(const QString& mountPath, QObject* parent)
    : QObject(parent), mountPath_(mountPath), root_(QFileInfo(mountPath).canonicalFilePath()) {}

QStringList VDLMediaCleaner::hiddenFolderNames() {
    return {QStringLiteral(".Trashes"), QStringLiteral(".fseventsd"), QStringLiteral(".Spotlight-V100"),
            QStringLiteral(".Trash-%1").arg(::getuid())};
}

QStringList VDLMediaCleaner::hiddenFilePatterns() {
    return {QStringLiteral(".DS_Store"), QStringLiteral("._*")};
}

QList<VDLMediaCleaner::Step> VDLMediaCleaner::steps() const {
    if (hasCustomSteps_) return customSteps_;
    QList<Step> out;
    refused_.clear();
    if (root_.isEmpty() || root_ == QLatin1String("/")) return out;
    for (const QString& name : hiddenFolderNames()) {
        const QString path = root_ + '/' + name;
        const QFileInfo info(path);
        if (!info.exists() && !info.isSymLink()) continue;
        if (info.isSymLink()) {
            // Removing the link never touches its target, but a link that leads out of the
            // volume is not ours to judge: leave it.
            const QString target = info.canonicalFilePath();
            if (target.isEmpty() || !(target == root_ || target.startsWith(root_ + '/'))) {
                refused_.append(path);
                continue;
            }
        }
        out.append({QStringLiteral("rm"), {QStringLiteral("-rf"), QStringLiteral("--one-file-system"),
                                           QStringLiteral("--"), path}});
    }
    for (const QString& pattern : hiddenFilePatterns())
        out.append({QStringLiteral("find"), {root_, QStringLiteral("-xdev"), QStringLiteral("-type"),
                                             QStringLiteral("f"), QStringLiteral("-name"), pattern,
                                             QStringLiteral("-delete")}});
    return out;
}

bool VDLMediaCleaner::run() {
    taskStalls_ = false;
    if (!hasCustomSteps_ && (root_.isEmpty() || root_ == QLatin1String("/"))) return false;
    for (const Step& step : steps()) {
        if (!runStep(step)) {
            taskStalls_ = true;
            return false;
        }
    }
    return true;
}

// Waits for the step while the event loop turns; the watchdog stops it when it takes too long.
bool VDLMediaCleaner::runStep(const Step& step) {
    // On the heap: a task stuck in the kernel must not block its destructor.
    auto* taskPtr = new QProcess;
    QProcess& task = *taskPtr;
    task.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    task.setStandardOutputFile(QProcess::nullDevice());
    QEventLoop loop;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    bool stalled = false;
    connect(&watchdog, &QTimer::timeout, &loop, [&] {
        if (task.state() != QProcess::NotRunning) {
            stalled = true;
            task.kill();
        }
        loop.quit();
    });
    connect(&task, &QProcess::finished, &loop, &QEventLoop::quit);
    connect(&task, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) loop.quit();
    });
    task.start(step.program, step.arguments);
    watchdog.start(watchdogMs_);
    if (task.state() != QProcess::NotRunning) loop.exec(QEventLoop::ExcludeUserInputEvents);
    watchdog.stop();
    if (stalled) {
        qWarning().noquote() << "vardelle: stopped a clean-up step that stalled:" << step.program
                             << step.arguments.join(' ');
        // A process stuck in the kernel may not die at once; do not wait for it here.
        if (!task.waitForFinished(100)) {
            connect(taskPtr, &QProcess::finished, taskPtr, &QObject::deleteLater);
            return false;
        }
        delete taskPtr;
        return false;
    }
    if (task.exitStatus() != QProcess::NormalExit || task.exitCode() != 0)
        qWarning().noquote() << "vardelle: clean-up step failed:" << step.program << step.arguments.join(' ');
    delete taskPtr;
    return true;
}
