// Whole collections: a folder of small designs (about 5,000 stitches each) converted DST -> JEF,
// its thumbnail cache filled, and a catalogue of 500 of them, on the pool of one process against
// the naive ways in the same run: one thread, and one vardelle-cli process per file (measured on
// a sample of files and given per file, since a full run takes minutes).
// VARDELLE_BENCH_FILES sets the folder's size (default 10,000); VARDELLE_BENCH_KEEP keeps the
// folder (its path is printed) to time the command-line tool on it.
//
// Each run reports the process's user and kernel seconds (per 10,000 files): on a shared machine
// they say more than the wall clock. The folder goes under TMPDIR. On an ext4 file system
// without a journal the kernel steps over every inode freed in the last minutes (five, while
// their blocks are not yet written) before it hands out a new one, looking each up: in a
// folder where thousands of files were just deleted (a busy /tmp, or this benchmark's previous
// run) every new file then costs a fraction of a millisecond of kernel time. Point TMPDIR at a
// quiet folder (e.g. a new one under /var/tmp) to time the work rather than that.
#include "model/batch/VDLBatch.h"
#include "model/batch/VDLCatalogue.h"
#include "model/batch/VDLThumbnailCache.h"

#include "VDLDesign.h"
#include "VDLFile.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A 100 x 80 mm zigzag fill in five colours, STITCHES records; VARIANT shifts its rows a little.
VDLDesign smallDesign(int stitches, int variant) {
    std::vector<VDLStitch> st;
    st.reserve(size_t(stitches) + 1);
    st.emplace_back(-500.0f, -400.0f, true, false);
    const int perBlock = stitches / 5;
    for (int i = 1; i < stitches; ++i) {
        const bool change = i % perBlock == 0;
        const float dx = (i / 25) % 2 ? -40.0f : 40.0f;
        const float dy = i % 25 == 0 ? 4.0f + 0.1f * float(variant % 7) : 0.0f;
        st.emplace_back(dx, dy, false, change);
    }
    VDLDesign d;
    d.setStitches(std::move(st));
    std::vector<VDLThread> threads;
    for (int t = 0; t < 5; ++t) threads.emplace_back(std::to_string(t + 1), "Undefined");
    d.setThreads(std::move(threads));
    d.setDesignType("DST");
    d.setDesignVersion(10);
    d.recomputeBounds();
    return d;
}

// The whole process's CPU time (every thread, user and kernel), to compare runs on a busy
// machine where the wall clock says more about the neighbours than about the work.
struct ProcessCPU {
    double user = 0, sys = 0;
    static ProcessCPU now() {
        rusage r{};
        ::getrusage(RUSAGE_SELF, &r);
        return {double(r.ru_utime.tv_sec) + double(r.ru_utime.tv_usec) / 1e6,
                double(r.ru_stime.tv_sec) + double(r.ru_stime.tv_usec) / 1e6};
    }
};

// Adds the process's CPU seconds spent between START and now to STATE's counters: user, sys,
// and both per 10,000 files.
void reportCPU(benchmark::State& state, const ProcessCPU& start, size_t files) {
    const ProcessCPU end = ProcessCPU::now();
    const double user = end.user - start.user, sys = end.sys - start.sys;
    state.counters["user_s"] = user;
    state.counters["sys_s"] = sys;
    if (files) state.counters["cpu_s_per_10k"] = (user + sys) * 10000.0 / double(files);
}

size_t folderSize() {
    const char* n = std::getenv("VARDELLE_BENCH_FILES");
    const long v = n ? std::atol(n) : 0;
    return v > 0 ? size_t(v) : 10000;
}

// The folder of designs, made once per run.
struct Collection {
    std::string root;
    std::vector<VDLBatchFile> files;
    Collection() {
        root = (fs::temp_directory_path() / ("vardelle-bench-batch-" + std::to_string(::getpid()))).string();
        fs::create_directories(root + "/in");
        std::vector<std::vector<uint8_t>> variants;
        for (int v = 0; v < 16; ++v) {
            VDLDesign d = smallDesign(5000, v);
            d.optimizeJumpsFor("DST");
            variants.push_back(d.exportDstDesignToData());
        }
        const size_t n = folderSize();
        for (size_t i = 0; i < n; ++i) {
            const std::string path = root + "/in/design-" + std::to_string(i) + ".dst";
            FILE* f = std::fopen(path.c_str(), "wb");
            const auto& bytes = variants[i % variants.size()];
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        files = VDLBatchCollect({root + "/in"}, false).files;
    }
    ~Collection() {
        if (std::getenv("VARDELLE_BENCH_KEEP")) {
            std::fprintf(stderr, "kept: %s\n", root.c_str());
            return;
        }
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

Collection& collection() {
    static Collection c;
    return c;
}

// FLUSHONCE: the new files flushed together at the end (as the command does) instead of one by one.
void convertAll(benchmark::State& state, unsigned jobs, bool flushOnce = true) {
    Collection& c = collection();
    // A folder of its own: deleting another run's thousands of outputs just before would time the
    // file system's bookkeeping of freed inodes (see above) rather than the conversions.
    const std::string out = c.root + "/out-" + std::to_string(jobs) + (flushOnce ? "" : "-flush-each");
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(out);
        state.ResumeTiming();
        const ProcessCPU start = ProcessCPU::now();
        size_t failed = 0;
        VDLBatchRun(
            c.files.size(), jobs,
            [&](size_t i) {
                return VDLBatchConvert(c.files[i].path, VDLBatchConvertTarget(c.files[i], "JEF", out), false, flushOnce);
            },
            [&](size_t, const VDLBatchOutcome& o) { failed += o.status != VDLBatchOutcome::Status::Done; });
        if (flushOnce) VDLSyncFiles({out});
        reportCPU(state, start, c.files.size());
        if (failed) state.SkipWithError("conversions failed");
    }
    state.SetItemsProcessed(int64_t(state.iterations() * c.files.size()));
}

void BM_ConvertFolder_Pool(benchmark::State& state) { convertAll(state, 0); }
void BM_ConvertFolder_OneThread(benchmark::State& state) { convertAll(state, 1); }
void BM_ConvertFolder_PoolFlushEach(benchmark::State& state) { convertAll(state, 0, false); }

// The shell loop: one vardelle-cli process per file (on a sample of 200 files).
void runEach(benchmark::State& state, const std::vector<std::string>& (*argsFor)(size_t, const std::string&)) {
    Collection& c = collection();
    const size_t sample = std::min<size_t>(200, c.files.size());
    const std::string out = c.root + "/process-out";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(out);
        fs::create_directories(out);
        state.ResumeTiming();
        for (size_t i = 0; i < sample; ++i) {
            const std::vector<std::string>& args = argsFor(i, out);
            const pid_t pid = ::fork();
            if (pid == 0) {
                std::vector<char*> argv;
                for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
                argv.push_back(nullptr);
                ::execv(argv[0], argv.data());
                ::_exit(127);
            }
            int status = 0;
            ::waitpid(pid, &status, 0);
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations() * sample));
}

const std::vector<std::string>& convertArgs(size_t i, const std::string& out) {
    static std::vector<std::string> args;
    args = {VARDELLE_CLI, "convert", collection().files[i].path, out + "/" + std::to_string(i) + ".jef"};
    return args;
}

const std::vector<std::string>& thumbnailArgs(size_t i, const std::string& out) {
    static std::vector<std::string> args;
    args = {VARDELLE_THUMBNAILER, "-s", "128", collection().files[i].path, out + "/" + std::to_string(i) + ".png"};
    return args;
}

void BM_ConvertFolder_ProcessPerFile(benchmark::State& state) { runEach(state, convertArgs); }
void BM_ThumbnailCache_ProcessPerFile(benchmark::State& state) { runEach(state, thumbnailArgs); }

void cacheAll(benchmark::State& state, unsigned jobs) {
    Collection& c = collection();
    VDLThumbnailCacheOptions options;
    options.cacheFolder = c.root + "/cache-" + std::to_string(jobs);
    options.version = "bench";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(options.cacheFolder);
        state.ResumeTiming();
        const ProcessCPU start = ProcessCPU::now();
        size_t failed = 0;
        VDLBatchRun(
            c.files.size(), jobs, [&](size_t i) { return VDLThumbnailCacheFile(c.files[i].path, options); },
            [&](size_t, const VDLBatchOutcome& o) { failed += o.status != VDLBatchOutcome::Status::Done; });
        reportCPU(state, start, c.files.size());
        if (failed) state.SkipWithError("thumbnails failed");
    }
    state.SetItemsProcessed(int64_t(state.iterations() * c.files.size()));
}

void BM_ThumbnailCache_Pool(benchmark::State& state) { cacheAll(state, 0); }
void BM_ThumbnailCache_OneThread(benchmark::State& state) { cacheAll(state, 1); }

void catalogue(benchmark::State& state, unsigned jobs) {
    Collection& c = collection();
    std::vector<VDLBatchFile> files(c.files.begin(), c.files.begin() + std::min<size_t>(500, c.files.size()));
    VDLCatalogueLayout layout;
    layout.title = "Benchmark";
    for (auto _ : state) {
        const ProcessCPU start = ProcessCPU::now();
        VDLCatalogueResult r = VDLMakeCatalogue(files, layout, jobs, nullptr, {});
        reportCPU(state, start, 0);
        if (r.pdf.empty()) state.SkipWithError("no catalogue");
        state.counters["MB"] = double(r.pdf.size()) / 1e6;
    }
    state.SetItemsProcessed(int64_t(state.iterations() * files.size()));
}

void BM_Catalogue500_Pool(benchmark::State& state) { catalogue(state, 0); }
void BM_Catalogue500_OneThread(benchmark::State& state) { catalogue(state, 1); }

}  // namespace

BENCHMARK(BM_ConvertFolder_Pool)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ConvertFolder_PoolFlushEach)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ConvertFolder_OneThread)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ConvertFolder_ProcessPerFile)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ThumbnailCache_Pool)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ThumbnailCache_OneThread)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ThumbnailCache_ProcessPerFile)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_Catalogue500_Pool)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_Catalogue500_OneThread)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
