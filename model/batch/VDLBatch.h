#pragma once
// Work on whole collections of designs: finding the design files under the paths a user gives,
// running one piece of work per file on a pool of threads (one design in memory per job, so
// memory follows the jobs in flight, never the collection), and the work itself: converting,
// thumbnail cache entries, summaries and the printed catalogue (VDLBatchWork.h, VDLCatalogue.h).
// Nothing here knows of terminals or windows: progress and cancelling come in as callbacks and
// flags, so the command-line tool and the application share it.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One design file found: its path as it can be opened, and its path below the folder that was
// given (the file name alone for a file given by itself), which keeps the folder tree when the
// results go to another folder.
struct VDLBatchFile {
    std::string path;
    std::string relative;
};

// A path that could not be looked at (missing, unreadable folder, a symbolic link loop).
struct VDLBatchProblem {
    std::string path;
    std::string message;
    bool loop = false;  // a folder reached again through a link: said, but no fault of the run
};

struct VDLBatchScan {
    std::vector<VDLBatchFile> files;
    size_t hidden = 0;    // names starting with '.', never looked into
    size_t other = 0;     // files that are not designs we read (thread side files among them)
    size_t folders = 0;   // folders left out because the walk was not recursive
    std::vector<VDLBatchProblem> problems;
};

// True for the extensions the import dispatch reads (case does not matter).
bool VDLBatchIsDesignFile(const std::string& path);

// Files given are taken as they are (a hidden or non-design file given by name is skipped and
// counted too); folders give the design files inside them, sorted by name, and with RECURSIVE
// those of their subfolders. Symbolic links are followed; a folder reached again through a link
// (a loop) is reported once and not entered. A file reached twice (named and inside a folder
// given, or through a link) is listed once.
VDLBatchScan VDLBatchCollect(const std::vector<std::string>& paths, bool recursive);

// What became of one file.
struct VDLBatchOutcome {
    enum class Status { Done, Skipped, Failed };
    Status status = Status::Done;
    std::string message;  // why it was skipped or failed ("" when done)
    int64_t code = 0;     // the error code of a failure (the system's errno for file-system errors)
};

// Runs WORK(i) for every i below COUNT on JOBS threads (0: one per core), handing the items out
// in order. REPORT(i, outcome) is called for each finished item on the thread that ran it, one
// call at a time (under the pool's lock), in the
// order they finish. Once CANCEL is set no new item starts; the ones in flight finish. Returns
// how many items ran.
size_t VDLBatchRun(size_t count, unsigned jobs, const std::function<VDLBatchOutcome(size_t)>& work,
                   const std::function<void(size_t, const VDLBatchOutcome&)>& report,
                   const std::atomic<bool>* cancel = nullptr);

// The number of threads JOBS = 0 stands for.
unsigned VDLBatchDefaultJobs();

// ---- Converting

// The file a conversion of FILE to TYPE ("JEF", "PES", ...) writes: beside the input when OUTDIR
// is empty, else the input's relative path under OUTDIR; the extension replaced by TYPE's in
// lower case.
std::string VDLBatchConvertTarget(const VDLBatchFile& file, const std::string& type, const std::string& outDir);

// The types a conversion writes.
bool VDLBatchIsWritableType(const std::string& type);

// Reads IN and writes it to OUT (the format of OUT's extension), creating OUT's folder. An
// existing OUT is kept unless FORCE (skipped, with the reason); the output itself and the
// thread side file beside it are written as a save writes them, atomically. A design the
// target cannot take fails with the writer's own message. With DEFERFLUSH a new output (one that
// replaces nothing) is not flushed to disk on its own: the caller calls VDLSyncFiles() once
// after the run, before it reports the files written.
VDLBatchOutcome VDLBatchConvert(const std::string& in, const std::string& out, bool force, bool deferFlush = false);
