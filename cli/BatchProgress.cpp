#include "BatchProgress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

std::atomic<bool> gBatchCancel{false};

namespace {

void onInterrupt(int) { gBatchCancel.store(true); }

int terminalColumns() {
    winsize ws{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 20) return ws.ws_col;
    return 80;
}

std::string duration(double seconds) {
    if (!(seconds >= 0) || seconds > 359999) return "--:--";
    const long s = long(seconds + 0.5);
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

}  // namespace

void batchInstallInterruptHandler() {
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = onInterrupt;
    sa.sa_flags = SA_RESETHAND;  // a second Ctrl+C ends the process at once
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
}

BatchProgress::BatchProgress(size_t total)
    : total_(total), terminal_(::isatty(STDERR_FILENO) == 1), start_(std::chrono::steady_clock::now()) {}

BatchProgress::~BatchProgress() { clear(); }

double BatchProgress::seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void BatchProgress::clear() {
    if (lineShown_) std::fputs("\r\033[K", stderr);
    lineShown_ = false;
}

void BatchProgress::note(const std::string& line) {
    clear();
    std::fprintf(stderr, "%s\n", line.c_str());
}

void BatchProgress::finished(const std::string& file, const VDLBatchOutcome& outcome) {
    ++done_;
    switch (outcome.status) {
        case VDLBatchOutcome::Status::Done: ++succeeded_; break;
        case VDLBatchOutcome::Status::Skipped: ++skipped_; break;
        case VDLBatchOutcome::Status::Failed:
            ++failed_;
            note("vardelle-cli: " + file + ": " + outcome.message + " (code " + std::to_string(outcome.code) + ")");
            break;
    }
    draw(file);
}

void BatchProgress::draw(const std::string& current) {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (done_ != total_ && lineShown_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    const double elapsed = seconds();
    const double rate = elapsed > 0 ? double(done_) / elapsed : 0;
    const double left = rate > 0 ? double(total_ - done_) / rate : -1;
    char head[128];
    std::snprintf(head, sizeof head, "%zu/%zu  %.0f files/s  %s left  ", done_, total_, rate, duration(left).c_str());
    std::string line = head;
    const size_t room = size_t(terminalColumns() - 1);
    std::string name = current;
    if (line.size() + name.size() > room) {
        const size_t keep = room > line.size() + 1 ? room - line.size() - 1 : 0;
        name = "…" + name.substr(name.size() - std::min(keep, name.size()));
    }
    std::fprintf(stderr, "\r\033[K%s%s", line.c_str(), name.c_str());
    std::fflush(stderr);
    lineShown_ = true;
}
