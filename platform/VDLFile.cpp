#include "VDLFile.h"
#include "VDLError.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <climits>
#include <filesystem>
#include <random>

bool VDLReadFile(const std::string& path, std::vector<uint8_t>& bytes, VDLError* error) {
    bytes.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return VDLPOSIXError(error, errno, path);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int e = errno;
        ::close(fd);
        return VDLPOSIXError(error, e, path);
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        return VDLPOSIXError(error, EISDIR, path);
    }
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
        bytes.reserve(size_t(st.st_size));
        VDLAdviseLargeBuffer(bytes.data(), bytes.capacity());
    }
    uint8_t buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int e = errno;
            ::close(fd);
            bytes.clear();
            return VDLPOSIXError(error, e, path);
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), buf, buf + n);
    }
    ::close(fd);
    return true;
}

bool VDLReadRegularFile(const std::string& path, std::vector<uint8_t>& bytes, size_t maxBytes, VDLError* error) {
    bytes.clear();
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return VDLPOSIXError(error, errno, path);
    auto fail = [&](int e) {
        ::close(fd);
        bytes.clear();
        return VDLPOSIXError(error, e, path);
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fail(errno);
    if (S_ISDIR(st.st_mode)) return fail(EISDIR);
    if (!S_ISREG(st.st_mode)) return fail(EINVAL);
    if (st.st_size < 0 || uint64_t(st.st_size) > maxBytes) return fail(EFBIG);
    bytes.reserve(size_t(st.st_size));
    uint8_t buf[65536];
    for (;;) {
        // One byte more than the bound tells a file that grew past it.
        const size_t room = maxBytes - std::min(maxBytes, bytes.size()) + 1;
        ssize_t n = ::read(fd, buf, std::min(sizeof buf, room));
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        if (n == 0) break;
        bytes.insert(bytes.end(), buf, buf + n);
        if (bytes.size() > maxBytes) return fail(EFBIG);
    }
    ::close(fd);
    return true;
}

namespace {

// The file a write to PATH lands on: PATH itself, or the end of the chain of symbolic links it
// starts (a link may point at a file that does not exist yet). A relative link is resolved
// against the folder holding the link.
bool resolveLinks(const std::string& path, std::string& resolved, int& errorCode) {
    namespace fs = std::filesystem;
    resolved = path;
    for (int hops = 0;; ++hops) {
        struct stat ls {};
        if (::lstat(resolved.c_str(), &ls) != 0 || !S_ISLNK(ls.st_mode)) return true;
        if (hops >= 40) {
            errorCode = ELOOP;
            return false;
        }
        std::string link(size_t(PATH_MAX), '\0');
        const ssize_t n = ::readlink(resolved.c_str(), link.data(), link.size());
        if (n < 0) {
            errorCode = errno;
            return false;
        }
        link.resize(size_t(n));
        fs::path next(link);
        if (next.is_relative()) {
            fs::path dir = fs::path(resolved).parent_path();
            next = dir.empty() ? next : dir / next;
        }
        resolved = next.string();
    }
}

}  // namespace
namespace {
thread_local bool gDeferSync = false;
}

VDLDeferredFileSync::VDLDeferredFileSync() : previous_(gDeferSync) { gDeferSync = true; }
VDLDeferredFileSync::~VDLDeferredFileSync() { gDeferSync = previous_; }

void VDLSyncFiles(const std::vector<std::string>& paths) {
    std::vector<dev_t> done;
    for (const std::string& path : paths) {
        const int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && std::find(done.begin(), done.end(), st.st_dev) == done.end()) {
            done.push_back(st.st_dev);
            if (::syncfs(fd) != 0) ::sync();
        }
        ::close(fd);
    }
}

unsigned VDLCurrentUmask() {
    // Linux gives it in /proc; elsewhere it can only be read by setting it, which is done once
    // under a lock (a thread creating a file in that instant would see no mask).
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "Umask: %o", &mask) == 1) {
                found = true;
                break;
            }
        std::fclose(f);
        if (found) return mask;
    }
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return unsigned(mask);
}

namespace {

// Creates a new temporary file beside TARGET (".name.vardelle-XXXXXX") and answers its
// descriptor and name. MODE is handed to the kernel, which takes the file-creation mask (or the
// folder's default ACL) off it as for any new file.
int createTemporary(const std::filesystem::path& dir, const std::filesystem::path& target, mode_t mode, std::string& name) {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    const std::string prefix = (dir / ("." + target.filename().string() + ".vardelle-")).string();
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t bits = random();
        name = prefix;
        for (int i = 0; i < 6; ++i, bits >>= 6) name += kChars[bits % 62];
        const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// VDLStageFile for the file RESOLVED that a write to PATH lands on.
bool stageResolved(const std::string& path, const std::string& resolved, const void* data, size_t size,
                   std::string& staged, VDLError* error) {
    namespace fs = std::filesystem;
    fs::path target(resolved);
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    struct stat existing {};
    const bool exists = ::stat(resolved.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) return VDLPOSIXError(error, EISDIR, path);

    // A new file is created with the bits any new file gets; one that replaces a file is
    // created private and given the old file's bits before it takes its place.
    std::string tmpl;
    int fd = createTemporary(dir, target, exists ? 0600 : 0666, tmpl);
    if (fd < 0) return VDLPOSIXError(error, errno, path);
    auto fail = [&](int e) {
        ::close(fd);
        ::unlink(tmpl.c_str());
        return VDLPOSIXError(error, e, path);
    };
    const auto* p = static_cast<const uint8_t*>(data);
    size_t left = size;
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        p += n;
        left -= size_t(n);
    }
    if (exists && ::fchmod(fd, existing.st_mode & 07777) != 0) return fail(errno);
    if ((exists || !gDeferSync) && ::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        int e = errno;
        ::unlink(tmpl.c_str());
        return VDLPOSIXError(error, e, path);
    }
    staged = tmpl;
    return true;
}

bool renameStaged(const std::string& staged, const std::string& resolved, const std::string& path, VDLError* error) {
    if (::rename(staged.c_str(), resolved.c_str()) != 0) {
        int e = errno;
        ::unlink(staged.c_str());
        return VDLPOSIXError(error, e, path);
    }
    return true;
}

}  // namespace

bool VDLStageFile(const std::string& path, const void* data, size_t size, std::string& staged, VDLError* error) {
    staged.clear();
    std::string resolved;
    int linkError = 0;
    if (!resolveLinks(path, resolved, linkError)) return VDLPOSIXError(error, linkError, path);
    return stageResolved(path, resolved, data, size, staged, error);
}

bool VDLCommitStagedFile(const std::string& staged, const std::string& path, VDLError* error) {
    // The staged file lies beside the end of PATH's chain of links: it replaces that file and
    // the links stay.
    std::string resolved;
    int linkError = 0;
    if (!resolveLinks(path, resolved, linkError)) {
        ::unlink(staged.c_str());
        return VDLPOSIXError(error, linkError, path);
    }
    return renameStaged(staged, resolved, path, error);
}

void VDLDiscardStagedFile(const std::string& staged) {
    if (!staged.empty()) ::unlink(staged.c_str());
}

bool VDLWriteFileAtomically(const std::string& path, const void* data, size_t size, VDLError* error) {
    // The links are followed once: the file is staged beside the end of the chain and renamed there.
    std::string resolved, staged;
    int linkError = 0;
    if (!resolveLinks(path, resolved, linkError)) return VDLPOSIXError(error, linkError, path);
    return stageResolved(path, resolved, data, size, staged, error) && renameStaged(staged, resolved, path, error);
}

void VDLAdviseLargeBuffer(const void* data, size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    if (!data || bytes < kHuge) return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHuge - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}
