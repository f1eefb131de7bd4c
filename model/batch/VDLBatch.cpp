#include "model/batch/VDLBatch.h"

#include "VDLDesign.h"
#include "VDLError.h"
#include "VDLFile.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <utility>

namespace {

std::string lowercased(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::string baseName(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string extensionOf(const std::string& path) {
    const std::string name = baseName(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    return lowercased(name.substr(dot + 1));
}

bool isHidden(const std::string& name) { return !name.empty() && name[0] == '.'; }

std::string joined(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

struct Walker {
    VDLBatchScan& scan;
    bool recursive;
    std::set<std::pair<dev_t, ino_t>> entered;  // folders on the way down and those done
    std::set<std::pair<dev_t, ino_t>> taken;    // design files already in the list

    void problem(const std::string& path, int err) { scan.problems.push_back({path, std::strerror(err)}); }

    void file(const std::string& path, const std::string& relative, const struct stat& st) {
        if (!VDLBatchIsDesignFile(path))
            ++scan.other;
        else if (taken.insert({st.st_dev, st.st_ino}).second)  // a file named twice is done once
            scan.files.push_back({path, relative});
    }

    void folder(const std::string& path, const std::string& relative, const struct stat& st) {
        if (!entered.insert({st.st_dev, st.st_ino}).second) {
            scan.problems.push_back({path, "this folder was already reached (a symbolic link loop); not entered again", true});
            return;
        }
        DIR* dir = ::opendir(path.c_str());
        if (!dir) return problem(path, errno);
        std::vector<std::string> names;
        errno = 0;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            if (isHidden(name)) {
                ++scan.hidden;
                continue;
            }
            const std::string child = joined(path, name);
            const std::string childRelative = relative.empty() ? name : relative + "/" + name;
            struct stat cst;
            if (::stat(child.c_str(), &cst) != 0) {
                problem(child, errno);  // a dangling link, or a file gone since the listing
                continue;
            }
            if (S_ISDIR(cst.st_mode)) {
                if (recursive)
                    folder(child, childRelative, cst);
                else
                    ++scan.folders;
            } else {
                file(child, childRelative, cst);
            }
        }
    }
};

std::string errorText(const VDLError& error) {
    return error.domain == VDLPOSIXErrorDomain ? std::string(std::strerror(int(error.code))) : error.message();
}

VDLBatchOutcome failed(const std::string& message, int64_t code) {
    return {VDLBatchOutcome::Status::Failed, message, code};
}

}  // namespace

bool VDLBatchIsDesignFile(const std::string& path) {
    static const char* const kExtensions[] = {"jef", "jef+", "jpx", "pes", "pec", "sew", "exp",
                                              "dst", "vp3", "ksm", "pcs", "pcd", "pcq"};
    const std::string ext = extensionOf(path);
    for (const char* e : kExtensions)
        if (ext == e) return true;
    return false;
}

VDLBatchScan VDLBatchCollect(const std::vector<std::string>& paths, bool recursive) {
    VDLBatchScan scan;
    Walker walker{scan, recursive, {}, {}};
    for (const std::string& path : paths) {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) {
            walker.problem(path, errno);
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            walker.folder(path, "", st);
            continue;
        }
        const std::string name = baseName(path);
        if (isHidden(name))
            ++scan.hidden;
        else
            walker.file(path, name, st);
    }
    return scan;
}

unsigned VDLBatchDefaultJobs() { return std::max(1u, std::thread::hardware_concurrency()); }

size_t VDLBatchRun(size_t count, unsigned jobs, const std::function<VDLBatchOutcome(size_t)>& work,
                   const std::function<void(size_t, const VDLBatchOutcome&)>& report, const std::atomic<bool>* cancel) {
    if (jobs == 0) jobs = VDLBatchDefaultJobs();
    jobs = unsigned(std::min<size_t>(jobs, std::max<size_t>(count, 1)));
    std::atomic<size_t> next{0};
    std::atomic<size_t> ran{0};
    std::mutex reportMutex;
    auto loop = [&] {
        for (;;) {
            if (cancel && cancel->load(std::memory_order_relaxed)) return;
            const size_t i = next.fetch_add(1);
            if (i >= count) return;
            VDLBatchOutcome outcome;
            try {
                outcome = work(i);
            } catch (const std::bad_alloc&) {
                outcome = failed(std::strerror(ENOMEM), ENOMEM);
            } catch (const std::exception& e) {
                outcome = failed(e.what(), -1);
            }
            ran.fetch_add(1);
            std::lock_guard<std::mutex> lock(reportMutex);
            if (report) report(i, outcome);
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < jobs; ++t) {
        try {
            threads.emplace_back(loop);
        } catch (...) {
            break;  // fewer threads than asked: the ones there share the work
        }
    }
    loop();
    for (auto& t : threads) t.join();
    return ran.load();
}

bool VDLBatchIsWritableType(const std::string& type) {
    for (const char* t : {"JEF", "PES", "PEC", "EXP", "DST", "PCS"})
        if (type == t) return true;
    return false;
}

std::string VDLBatchConvertTarget(const VDLBatchFile& file, const std::string& type, const std::string& outDir) {
    const std::string base = outDir.empty() ? file.path : joined(outDir, file.relative);
    const size_t slash = base.rfind('/');
    const size_t dot = base.rfind('.');
    const std::string stem = (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
                                 ? base.substr(0, dot)
                                 : base;
    return stem + "." + lowercased(type);
}

VDLBatchOutcome VDLBatchConvert(const std::string& in, const std::string& out, bool force, bool deferFlush) {
    struct stat inStat, outStat;
    const bool outExists = ::lstat(out.c_str(), &outStat) == 0;
    if (outExists && ::stat(in.c_str(), &inStat) == 0 && ::stat(out.c_str(), &outStat) == 0 &&
        inStat.st_dev == outStat.st_dev && inStat.st_ino == outStat.st_ino)
        return {VDLBatchOutcome::Status::Skipped, "is already in that format", 0};
    if (outExists && !force)
        return {VDLBatchOutcome::Status::Skipped, out + " exists and is kept (--force replaces it)", EEXIST};

    VDLDesign design;
    VDLError error;
    if (!design.importDesignFromURL(VDLURL::fileURLWithPath(in), &error)) return failed(errorText(error), error.code);

    const size_t slash = out.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        std::error_code ec;
        std::filesystem::create_directories(out.substr(0, slash), ec);
        if (ec) return failed(out.substr(0, slash) + ": " + ec.message(), ec.value());
    }
    // The design now lives at OUT: its thread side file (if it keeps one) goes beside OUT.
    design.setDesignLocation(VDLURL::fileURLWithPath(out));
    VDLError writeError;
    std::optional<VDLDeferredFileSync> deferred;
    if (deferFlush) deferred.emplace();  // replaced files are flushed whatever this says
    if (!design.exportDesignToURL(VDLURL::fileURLWithPath(out), &writeError))
        return failed(out + ": " + errorText(writeError), writeError.code);
    return {};
}
