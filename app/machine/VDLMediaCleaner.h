#pragma once
// Removes the hidden bookkeeping files that desktops leave on a medium and that confuse some
// embroidery machines: the folders ".Trashes", ".fseventsd", ".Spotlight-V100" and the
// desktop's ".Trash-<uid>" at the top of the volume, and the files ".DS_Store" and "._*"
// anywhere on it.
//
// Nothing outside the volume is touched: the mount point is resolved, a top-level entry that is
// a symbolic link is only removed as a link (and refused when it points out of the volume), and
// the search for files stays on the volume's file system and does not follow links.
//
// Each step is a child process ("rm", "find") bounded by a watchdog (2 s): a step that stalls is
// stopped, the remaining steps are skipped and taskStalls() says so; the caller then leaves the
// medium mounted.
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class VDLMediaCleaner : public QObject {
    Q_OBJECT
public:
    struct Step {
        QString program;
        QStringList arguments;
    };

    explicit VDLMediaCleaner(const QString& mountPath, QObject* parent = nullptr);

    // The hidden top-level folders, in order of removal (the uid's trash last).
    static QStringList hiddenFolderNames();
    static QStringList hiddenFilePatterns();  // ".DS_Store", "._*"

    // The steps for the volume as it is now (a missing folder needs no step).
    QList<Step> steps() const;
    // Replaces the steps (tests).
    void setSteps(const QList<Step>& steps) { customSteps_ = steps; hasCustomSteps_ = true; }
    void setWatchdogInterval(int ms) { watchdogMs_ = ms; }
    int watchdogInterval() const { return watchdogMs_; }

    // Runs every step; false when one stalled (taskStalls) or the volume could not be resolved.
    bool run();
    bool taskStalls() const { return taskStalls_; }
    // The entries left alone because they lead out of the volume.
    const QStringList& refused() const { return refused_; }

private:
    bool runStep(const Step& step);

    QString mountPath_;
    QString root_;  // resolved mount point
    QList<Step> customSteps_;
    bool hasCustomSteps_ = false;
    int watchdogMs_ = 2000;
    bool taskStalls_ = false;
    mutable QStringList refused_;
};
