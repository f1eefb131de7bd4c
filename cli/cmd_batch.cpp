// The commands over whole collections: convert --to, thumbnail --cache, info over folders and
// catalogue. Files and folders are given as paths; the work runs on --jobs threads (default: one
// per core) in this one process, with a running line on a terminal and a summary at the end.
// Exit status: 0 when every file went through, 1 when any failed (or Ctrl+C stopped the run),
// 2 for bad arguments.
#include "BatchProgress.h"
#include "Commands.h"
#include "VDLDesign.h"
#include "VDLError.h"
#include "VDLFile.h"
#include "VDLValueTransformer.h"
#include "model/batch/VDLBatch.h"
#include "model/batch/VDLCatalogue.h"
#include "model/batch/VDLDesignInfo.h"
#include "model/batch/VDLThumbnailCache.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>

namespace {

const char* const kConvertUsage = "convert --to FORMAT [-o OUTDIR] [--recursive] [--jobs N] [--force] PATH...";
const char* const kCacheUsage = "thumbnail --cache [--size normal|large|x-large|xx-large] [--recursive] [--jobs N] PATH...";
const char* const kInfoUsage = "info [--json|--csv] [--recursive] [--jobs N] PATH...";
const char* const kCatalogueUsage =
    "catalogue [-o OUT.pdf] [--paper a4|letter] [--per-page N] [--title TEXT] [--recursive] [--jobs N] [--force] PATH...";

// Options every collection command takes.
struct Common {
    std::vector<std::string> paths;
    bool recursive = false;
    unsigned jobs = 0;
};

bool parseCount(const std::string& text, int low, int high, int& out) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end && !text.empty() && out >= low && out <= high;
}

int badValue(const char* usage, const std::string& what) {
    std::fprintf(stderr, "vardelle-cli: %s\n", what.c_str());
    return cliUsage(usage);
}

// Takes --recursive, --jobs and the paths; OTHER(option, next value index) handles the rest and
// returns -1 when it does not know the option, else how many values it used. Returns 0 or the
// usage error's status.
template <typename Other>
int parseCommon(const CLIArgs& args, const char* usage, Common& common, Other other) {
    bool onlyPaths = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (onlyPaths || a.empty() || a[0] != '-' || a == "-") {
            common.paths.push_back(a);
        } else if (a == "--") {
            onlyPaths = true;
        } else if (a == "--recursive" || a == "-r") {
            common.recursive = true;
        } else if (a == "--jobs" || a == "-j") {
            int jobs = 0;
            if (i + 1 >= args.size() || !parseCount(args[i + 1], 1, 1024, jobs))
                return badValue(usage, "--jobs needs a whole number from 1 to 1024");
            common.jobs = unsigned(jobs);
            ++i;
        } else {
            const int used = other(a, i + 1);
            if (used < 0) return badValue(usage, "unknown option '" + a + "'");
            if (used > 0 && i + size_t(used) >= args.size()) return badValue(usage, a + " needs a value");
            i += size_t(used);
        }
    }
    if (common.paths.empty()) return cliUsage(usage);
    return 0;
}

// Looks for the files, printing each path that could not be looked at.
VDLBatchScan collect(const Common& common) {
    VDLBatchScan scan = VDLBatchCollect(common.paths, common.recursive);
    for (const auto& p : scan.problems) std::fprintf(stderr, "vardelle-cli: %s: %s\n", p.path.c_str(), p.message.c_str());
    return scan;
}

std::string plural(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The part of the summary about what was not looked at.
std::string leftOut(const VDLBatchScan& scan) {
    std::string text;
    auto add = [&](size_t n, const std::string& what) {
        if (n == 0) return;
        text += (text.empty() ? "" : ", ") + what;
    };
    add(scan.hidden, plural(scan.hidden, "hidden file", "hidden files"));
    add(scan.other, plural(scan.other, "file that is not a design", "files that are not designs"));
    add(scan.folders, plural(scan.folders, "folder (--recursive enters them)", "folders (--recursive enters them)"));
    const size_t loops = size_t(std::count_if(scan.problems.begin(), scan.problems.end(), [](const auto& p) { return p.loop; }));
    const size_t unreadable = scan.problems.size() - loops;
    add(loops, plural(loops, "symbolic link loop", "symbolic link loops"));
    add(unreadable, plural(unreadable, "path that could not be read", "paths that could not be read"));
    return text.empty() ? text : "; skipped " + text;
}

int finish(const BatchProgress& progress, const VDLBatchScan& scan, size_t total, const char* doneWord,
           const char* skippedWord) {
    std::string line = std::string(doneWord) + " " + std::to_string(progress.succeeded());
    if (progress.skipped()) line += ", " + std::to_string(progress.skipped()) + " " + skippedWord;
    line += ", " + std::to_string(progress.failed()) + " failed";
    line += leftOut(scan);
    char rate[64];
    std::snprintf(rate, sizeof rate, " (%.1f s)", progress.seconds());
    line += rate;
    const bool stopped = gBatchCancel.load();
    if (stopped)
        line = "stopped by Ctrl+C after " + std::to_string(progress.done()) + " of " + std::to_string(total) + ": " + line;
    std::fprintf(stderr, "%s\n", line.c_str());
    const bool unreadable = std::any_of(scan.problems.begin(), scan.problems.end(), [](const auto& p) { return !p.loop; });
    return progress.failed() > 0 || stopped || unreadable ? 1 : 0;
}

std::string uppercased(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return s;
}

}  // namespace

int cmdConvertMany(const CLIArgs& args) {
    std::string type, outDir;
    bool force = false;
    Common common;
    if (int status = parseCommon(args, kConvertUsage, common, [&](const std::string& a, size_t v) {
            if (a == "--to" || a == "-t") {
                if (v < args.size()) type = uppercased(args[v]);
                return 1;
            }
            if (a == "-o" || a == "--output") {
                if (v < args.size()) outDir = args[v];
                return 1;
            }
            if (a == "--force" || a == "-f") {
                force = true;
                return 0;
            }
            return -1;
        }))
        return status;
    if (type.empty()) return badValue(kConvertUsage, "convert needs --to FORMAT");
    if (!VDLBatchIsWritableType(type))
        return badValue(kConvertUsage, "cannot write '" + type + "' (JEF, PES, PEC, EXP, DST or PCS)");
    if (!outDir.empty()) {
        struct stat st;
        if (::stat(outDir.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
            return badValue(kConvertUsage, outDir + ": not a folder");
    }

    batchInstallInterruptHandler();
    const VDLBatchScan scan = collect(common);
    const auto& files = scan.files;
    // Each output belongs to the first input that asks for it: a.dst and a.exp both make a.jef.
    std::vector<std::string> targets(files.size());
    std::vector<std::string> clash(files.size());
    std::map<std::string, size_t> owner;
    for (size_t i = 0; i < files.size(); ++i) {
        targets[i] = VDLBatchConvertTarget(files[i], type, outDir);
        auto [it, fresh] = owner.emplace(targets[i], i);
        if (!fresh) clash[i] = files[it->second].path;
    }

    BatchProgress progress(files.size());
    VDLBatchRun(
        files.size(), common.jobs,
        [&](size_t i) -> VDLBatchOutcome {
            if (!clash[i].empty())
                return {VDLBatchOutcome::Status::Failed, targets[i] + " is already the output of " + clash[i], EEXIST};
            return VDLBatchConvert(files[i].path, targets[i], force, true);
        },
        [&](size_t i, const VDLBatchOutcome& outcome) { progress.finished(files[i].path, outcome); }, &gBatchCancel);
    progress.clear();
    // The new outputs were not flushed one by one: their file systems are flushed now.
    if (!outDir.empty()) VDLSyncFiles({outDir});
    else VDLSyncFiles(common.paths);
    return finish(progress, scan, files.size(), "converted", "kept (already there; --force replaces them)");
}

int cmdThumbnailCache(const CLIArgs& args) {
    VDLThumbnailCacheOptions options;
    options.version = VARDELLE_VERSION;
    Common common;
    if (int status = parseCommon(args, kCacheUsage, common, [&](const std::string& a, size_t v) {
            if (a == "--cache") return 0;
            if (a == "--size") {
                if (v < args.size()) options.sizeName = args[v];
                return 1;
            }
            return -1;
        }))
        return status;
    if (VDLThumbnailPixelsForSize(options.sizeName) == 0)
        return badValue(kCacheUsage, "bad --size '" + options.sizeName + "' (normal, large, x-large or xx-large)");

    batchInstallInterruptHandler();
    const VDLBatchScan scan = collect(common);
    const auto& files = scan.files;
    BatchProgress progress(files.size());
    VDLBatchRun(
        files.size(), common.jobs, [&](size_t i) { return VDLThumbnailCacheFile(files[i].path, options); },
        [&](size_t i, const VDLBatchOutcome& outcome) { progress.finished(files[i].path, outcome); }, &gBatchCancel);
    progress.clear();
    return finish(progress, scan, files.size(), "thumbnails made", "already current");
}

int cmdInfoMany(const CLIArgs& args) {
    enum class Form { Text, JSON, CSV } form = Form::Text;
    Common common;
    if (int status = parseCommon(args, kInfoUsage, common, [&](const std::string& a, size_t) {
            if (a == "--json") form = Form::JSON;
            else if (a == "--csv") form = Form::CSV;
            else return -1;
            return 0;
        }))
        return status;

    batchInstallInterruptHandler();
    const VDLBatchScan scan = collect(common);
    const auto& files = scan.files;
    if (form == Form::CSV) std::printf("%s\r\n", VDLDesignInfoCSVHeader().c_str());
    // Results are printed in the order of the files, each as soon as those before it are done.
    // A worker fills results[i]; the report (same thread, under the pool's lock) moves it to
    // texts[i], which only the reports touch.
    std::vector<std::string> results(files.size());
    std::vector<std::optional<std::string>> texts(files.size());
    size_t nextToPrint = 0;
    BatchProgress progress(files.size());
    VDLBatchRun(
        files.size(), common.jobs,
        [&](size_t i) -> VDLBatchOutcome {
            VDLDesign design;
            VDLError error;
            if (!design.importDesignFromURL(VDLURL::fileURLWithPath(files[i].path), &error)) {
                return {VDLBatchOutcome::Status::Failed,
                        error.domain == VDLPOSIXErrorDomain ? std::string(std::strerror(int(error.code))) : error.message(),
                        error.code};
            }
            results[i] = form == Form::JSON  ? VDLDesignInfoJSON(design, files[i].path) + "\n"
                       : form == Form::CSV ? VDLDesignInfoCSV(design, files[i].path) + "\r\n"
                                           : design.description() + "\n\n";
            return {};
        },
        [&](size_t i, const VDLBatchOutcome& outcome) {
            texts[i] = std::move(results[i]);
            progress.finished(files[i].path, outcome);
            if (nextToPrint < texts.size() && texts[nextToPrint]) progress.clear();
            while (nextToPrint < texts.size() && texts[nextToPrint]) {
                std::fputs(texts[nextToPrint]->c_str(), stdout);
                texts[nextToPrint].reset();
                ++nextToPrint;
            }
        },
        &gBatchCancel);
    progress.clear();
    std::fflush(stdout);
    return finish(progress, scan, files.size(), "read", "skipped");
}

int cmdCatalogue(const CLIArgs& args) {
    std::string out = "catalogue.pdf";
    std::string paper = "a4";
    std::string perPageText;
    std::optional<std::string> title;
    bool force = false;
    Common common;
    if (int status = parseCommon(args, kCatalogueUsage, common, [&](const std::string& a, size_t v) {
            const bool has = v < args.size();
            if (a == "-o" || a == "--output") {
                if (has) out = args[v];
                return 1;
            }
            if (a == "--paper") {
                if (has) paper = args[v];
                return 1;
            }
            if (a == "--per-page") {
                if (has) perPageText = args[v];
                return 1;
            }
            if (a == "--title") {
                if (has) title = args[v];
                return 1;
            }
            if (a == "--force" || a == "-f") {
                force = true;
                return 0;
            }
            return -1;
        }))
        return status;
    VDLCatalogueLayout layout;
    if (!VDLCataloguePaper(paper, layout)) return badValue(kCatalogueUsage, "bad --paper '" + paper + "' (a4 or letter)");
    if (!perPageText.empty() && !parseCount(perPageText, 1, 100, layout.perPage))
        return badValue(kCatalogueUsage, "bad --per-page '" + perPageText + "' (a whole number from 1 to 100)");
    struct stat st;
    if (!force && ::lstat(out.c_str(), &st) == 0)
        return cliFail(out + ": exists and is kept (--force replaces it)");

    batchInstallInterruptHandler();
    const VDLBatchScan scan = collect(common);
    const auto& files = scan.files;
    if (files.empty()) return cliFail("no designs found: nothing to put in " + out);
    if (title) {
        layout.title = *title;
    } else {
        for (const std::string& p : common.paths) {
            std::string name = p;
            while (name.size() > 1 && name.back() == '/') name.pop_back();
            const size_t slash = name.rfind('/');
            if (slash != std::string::npos && slash + 1 < name.size()) name = name.substr(slash + 1);
            layout.title += (layout.title.empty() ? "" : ", ") + name;
        }
        layout.title += " — " + plural(files.size(), "design", "designs");
    }
    layout.unit = VDLValueTransformer::measurementUnit();

    BatchProgress progress(files.size());
    VDLCatalogueResult result = VDLMakeCatalogue(
        files, layout, common.jobs, &gBatchCancel,
        [&](size_t, const VDLBatchFile& file, const VDLBatchOutcome& outcome) { progress.finished(file.path, outcome); });
    progress.clear();
    if (result.cancelled) {
        finish(progress, scan, files.size(), "read", "skipped");
        std::fprintf(stderr, "vardelle-cli: %s: not written (stopped)\n", out.c_str());
        return 1;
    }
    VDLError error;
    if (result.pdf.empty() || !VDLWriteFileAtomically(out, result.pdf, &error)) {
        if (result.pdf.empty()) return cliFail(out + ": the document could not be made");
        return cliFail(out, error);
    }
    const int status = finish(progress, scan, files.size(), "designs shown", "skipped");
    std::fprintf(stderr, "%s: %s\n", out.c_str(), plural(size_t(result.pages), "page", "pages").c_str());
    return status;
}
