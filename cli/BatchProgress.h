#pragma once
// The running line and summary of the commands that work on many files, and Ctrl+C.
#include "model/batch/VDLBatch.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

// Set by Ctrl+C (SIGINT) once the handler is installed; a second Ctrl+C ends the process.
extern std::atomic<bool> gBatchCancel;
void batchInstallInterruptHandler();

class BatchProgress {
public:
    // TOTAL items; the line is drawn only when stderr is a terminal (or FORCE_LINE).
    explicit BatchProgress(size_t total);
    ~BatchProgress();
    // One item finished (call one at a time): counts it, prints a failure's line, redraws.
    void finished(const std::string& file, const VDLBatchOutcome& outcome);
    // A line of its own (a problem found while looking for files), kept above the running line.
    void note(const std::string& line);
    // Clears the running line.
    void clear();
    size_t done() const { return done_; }
    size_t succeeded() const { return succeeded_; }
    size_t skipped() const { return skipped_; }
    size_t failed() const { return failed_; }
    double seconds() const;

private:
    void draw(const std::string& current);
    size_t total_;
    size_t done_ = 0, succeeded_ = 0, skipped_ = 0, failed_ = 0;
    bool terminal_;
    bool lineShown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDraw_;
};
