#include "model/batch/VDLThumbnailCache.h"

#include "VDLCairoContext.h"
#include "VDLDesign.h"
#include "VDLError.h"
#include "VDLFile.h"
#include "VDLPNG.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

std::atomic<uint64_t> gEntryCounter{0};

// MD5 (RFC 1321), enough for cache file names.
class MD5 {
public:
    void update(const uint8_t* data, size_t size) {
        for (size_t i = 0; i < size; ++i) {
            buffer_[used_++] = data[i];
            if (used_ == 64) {
                block(buffer_.data());
                used_ = 0;
            }
        }
        length_ += uint64_t(size) * 8;
    }
    std::array<uint8_t, 16> finish() {
        const uint64_t bits = length_;
        const uint8_t one = 0x80, zero = 0;
        update(&one, 1);
        while (used_ != 56) update(&zero, 1);
        uint8_t tail[8];
        for (int i = 0; i < 8; ++i) tail[i] = uint8_t(bits >> (8 * i));
        update(tail, 8);
        std::array<uint8_t, 16> out;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) out[size_t(i * 4 + j)] = uint8_t(state_[size_t(i)] >> (8 * j));
        return out;
    }

private:
    static uint32_t rotl(uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }
    void block(const uint8_t* p) {
        static const uint32_t K[64] = {
            0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
            0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
            0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
            0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
            0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
            0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
            0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
            0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
        static const int S[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                  5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                  4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                  6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
        uint32_t M[16];
        for (int i = 0; i < 16; ++i)
            M[i] = uint32_t(p[i * 4]) | uint32_t(p[i * 4 + 1]) << 8 | uint32_t(p[i * 4 + 2]) << 16 |
                   uint32_t(p[i * 4 + 3]) << 24;
        uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
        for (int i = 0; i < 64; ++i) {
            uint32_t f;
            int g;
            if (i < 16) {
                f = (b & c) | (~b & d);
                g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
            }
            const uint32_t t = d;
            d = c;
            c = b;
            b = b + rotl(a + f + K[i] + M[g], S[i]);
            a = t;
        }
        state_[0] += a;
        state_[1] += b;
        state_[2] += c;
        state_[3] += d;
    }
    std::array<uint32_t, 4> state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    std::array<uint8_t, 64> buffer_{};
    size_t used_ = 0;
    uint64_t length_ = 0;
};

std::string absolutePath(const std::string& path) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path, ec);
    if (ec) return path;
    return p.lexically_normal().string();
}

// Creates FOLDER and its parents, each new one readable by its owner only.
bool makeFolders(const std::string& folder, int& err) {
    std::string at;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = folder.find('/', pos + 1);
        at = folder.substr(0, pos);
        if (at.empty()) continue;
        if (::mkdir(at.c_str(), 0700) != 0 && errno != EEXIST) {
            err = errno;
            return false;
        }
    }
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        err = ENOTDIR;
        return false;
    }
    return true;
}

// Writes BYTES to PATH through a temporary file in the same folder, mode 0600, renamed into
// place: a reader sees the old entry or the whole new one. The folder (and its parents, each
// readable by its owner only) is made when the temporary file finds it missing.
bool writeEntry(const std::string& path, const std::vector<uint8_t>& bytes, int& err) {
    const std::string temp = path + ".vardelle-" + std::to_string(::getpid()) + "-" +
                             std::to_string(gEntryCounter.fetch_add(1)) + ".tmp";
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == ENOENT) {
        if (!makeFolders(path.substr(0, path.rfind('/')), err)) return false;
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    }
    if (fd < 0) {
        err = errno;
        return false;
    }
    ::fchmod(fd, 0600);  // whatever the umask
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            return false;
        }
        done += size_t(n);
    }
    if (::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        err = errno;
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

// True when the entry at ENTRY is for URI and says the file has MTIME (and SIZE, when the
// entry gives one).
bool entryIsCurrent(const std::string& entry, const std::string& uri, const std::string& mtime, const std::string& size) {
    std::vector<uint8_t> bytes;
    if (!VDLReadFile(entry, bytes)) return false;
    bool uriMatches = false, mtimeMatches = false, sizeMatches = true;
    for (const auto& [key, value] : VDLReadPNGText(bytes.data(), bytes.size())) {
        if (key == "Thumb::URI") uriMatches = value == uri;
        else if (key == "Thumb::MTime") mtimeMatches = value == mtime;
        else if (key == "Thumb::Size") sizeMatches = value == size;
    }
    return uriMatches && mtimeMatches && sizeMatches;
}

}  // namespace

int VDLThumbnailPixelsForSize(const std::string& sizeName) {
    if (sizeName == "normal") return 128;
    if (sizeName == "large") return 256;
    if (sizeName == "x-large") return 512;
    if (sizeName == "xx-large") return 1024;
    return 0;
}

std::string VDLThumbnailCacheFolder() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/thumbnails";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "") + "/.cache/thumbnails";
}

std::string VDLThumbnailURIForPath(const std::string& absolutePath) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : absolutePath) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            uri += char(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri;
}

std::string VDLMD5Hex(const std::string& bytes) {
    MD5 md5;
    md5.update(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    static const char* const kHex = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : md5.finish()) {
        hex += kHex[b >> 4];
        hex += kHex[b & 15];
    }
    return hex;
}

std::string VDLThumbnailMimeType(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (ext == "jef+") ext = "jef";
    if (ext == "pcd" || ext == "pcq") ext = "pcs";
    return "application/x-" + ext;
}

std::string VDLThumbnailCachePath(const std::string& path, const VDLThumbnailCacheOptions& options, bool failed) {
    const std::string base = options.cacheFolder.empty() ? VDLThumbnailCacheFolder() : options.cacheFolder;
    const std::string name = VDLMD5Hex(VDLThumbnailURIForPath(absolutePath(path))) + ".png";
    if (failed) return base + "/fail/vardelle-" + options.version + "/" + name;
    return base + "/" + options.sizeName + "/" + name;
}

VDLBatchOutcome VDLThumbnailCacheFile(const std::string& path, const VDLThumbnailCacheOptions& options) {
    const int pixels = VDLThumbnailPixelsForSize(options.sizeName);
    if (pixels == 0) return {VDLBatchOutcome::Status::Failed, "unknown thumbnail size '" + options.sizeName + "'", EINVAL};
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return {VDLBatchOutcome::Status::Failed, std::strerror(errno), errno};

    const std::string uri = VDLThumbnailURIForPath(absolutePath(path));
    const std::string mtime = std::to_string(int64_t(st.st_mtime));
    const std::string size = std::to_string(int64_t(st.st_size));
    const std::string base = options.cacheFolder.empty() ? VDLThumbnailCacheFolder() : options.cacheFolder;
    const std::string name = VDLMD5Hex(uri) + ".png";
    const std::string entry = base + "/" + options.sizeName + "/" + name;
    const std::string failEntry = base + "/fail/vardelle-" + options.version + "/" + name;
    if (entryIsCurrent(entry, uri, mtime, size))
        return {VDLBatchOutcome::Status::Skipped, "its thumbnail is current", 0};
    if (entryIsCurrent(failEntry, uri, mtime, size))
        return {VDLBatchOutcome::Status::Skipped, "could not be drawn before and has not changed since", 0};

    VDLPNGText text = {{"Thumb::URI", uri},
                       {"Thumb::MTime", mtime},
                       {"Thumb::Size", size},
                       {"Thumb::Mimetype", VDLThumbnailMimeType(path)},
                       {"Software", "Vardelle " + options.version}};

    VDLDesign design;
    VDLError error;
    const bool imported = design.importDesignFromURL(VDLURL::fileURLWithPath(path), &error);
    int err = 0;
    if (!imported) {
        // The failure entry: a one-pixel transparent picture with the file's identity.
        const uint32_t pixel = 0;
        const std::vector<uint8_t> png = VDLEncodePNG(reinterpret_cast<const uint8_t*>(&pixel), 1, 1, 4, text);
        writeEntry(failEntry, png, err);
        const std::string message =
            error.domain == VDLPOSIXErrorDomain ? std::string(std::strerror(int(error.code))) : error.message();
        return {VDLBatchOutcome::Status::Failed, message, error.code};
    }

    // Drawn as the file manager's thumbnailer draws it: flat, on white, the larger side filling
    // 1 / 1.05 of the square, centred.
    auto image = VDLCairoContext::imageContext(pixels, pixels);
    if (!image->ok()) return {VDLBatchOutcome::Status::Failed, std::strerror(ENOMEM), ENOMEM};
    const double n = pixels;
    image->setFillColor(VDLRGBA{1, 1, 1, 1});
    image->fillRect(0, 0, n, n);
    image->flipVertically(n);
    const double w = std::max(1.0, double(design.designWidth()));
    const double h = std::max(1.0, double(design.designHeight()));
    const double f = std::min(n / w / 1.05, n / h / 1.05);
    const double xMin = design.xMin(), yMin = design.yMin();
    image->translate(n / 2 - w / 2 * f - xMin * f, n / 2 - h / 2 * f - yMin * f);
    image->scale(f, f);
    design.drawDesignInRect(VDLMakeRect(xMin, yMin, w, h), *image, false, false, false);
    const std::vector<uint8_t> png = VDLEncodePNG(image->data(), pixels, pixels, image->stride(), text, true);
    if (png.empty()) return {VDLBatchOutcome::Status::Failed, std::strerror(ENOMEM), ENOMEM};

    if (!writeEntry(entry, png, err))
        return {VDLBatchOutcome::Status::Failed, entry + ": " + std::strerror(err), err};
    return {};
}
