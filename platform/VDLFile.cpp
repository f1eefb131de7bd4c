#include "VDLFile.h"
#include "VDLError.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>

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

bool VDLStageFile(const std::string& path, const void* data, size_t size, std::string& staged, VDLError* error) {
    namespace fs = std::filesystem;
    staged.clear();
    fs::path target(path);
    fs::path dir = target.parent_path();
    if (dir.empty()) dir = ".";
    struct stat existing {};
    const bool exists = ::stat(path.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) return VDLPOSIXError(error, EISDIR, path);

    std::string tmpl = (dir / ("." + target.filename().string() + ".vardelle-XXXXXX")).string();
    int fd = ::mkstemp(tmpl.data());
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
    mode_t mode;
    if (exists) {
        mode = existing.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0) return fail(errno);
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        int e = errno;
        ::unlink(tmpl.c_str());
        return VDLPOSIXError(error, e, path);
    }
    staged = tmpl;
    return true;
}

bool VDLCommitStagedFile(const std::string& staged, const std::string& path, VDLError* error) {
    if (::rename(staged.c_str(), path.c_str()) != 0) {
        int e = errno;
        ::unlink(staged.c_str());
        return VDLPOSIXError(error, e, path);
    }
    return true;
}

void VDLDiscardStagedFile(const std::string& staged) {
    if (!staged.empty()) ::unlink(staged.c_str());
}

bool VDLWriteFileAtomically(const std::string& path, const void* data, size_t size, VDLError* error) {
    std::string staged;
    return VDLStageFile(path, data, size, staged, error) && VDLCommitStagedFile(staged, path, error);
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
