#pragma once
#include <cstdint>
#include <string>
#include <filesystem>

// Points and rectangles in design units (0.1 mm) or device units, as doubles.
struct VDLPoint {
    double x = 0;
    double y = 0;
    bool operator==(const VDLPoint&) const = default;
};

struct VDLSize {
    double width = 0;
    double height = 0;
    bool operator==(const VDLSize&) const = default;
};

struct VDLRect {
    VDLPoint origin;
    VDLSize size;
    bool operator==(const VDLRect&) const = default;
    double minX() const { return origin.x; }
    double minY() const { return origin.y; }
    double maxX() const { return origin.x + size.width; }
    double maxY() const { return origin.y + size.height; }
};

inline VDLRect VDLMakeRect(double x, double y, double w, double h) { return VDLRect{{x, y}, {w, h}}; }

struct VDLRange {
    uint64_t location = 0;
    uint64_t length = 0;
    bool operator==(const VDLRange&) const = default;
};

// The not-found marker of index searches (largest signed 64-bit value).
constexpr int64_t VDLNotFound = INT64_MAX;

// A file location. Only file URLs exist in this system, so it is a path with the few URL
// accessors the model uses.
class VDLURL {
public:
    VDLURL() = default;
    explicit VDLURL(std::filesystem::path p) : path_(std::move(p)) {}
    static VDLURL fileURLWithPath(const std::string& p) { return VDLURL(std::filesystem::path(p)); }

    const std::filesystem::path& fsPath() const { return path_; }
    std::string path() const { return path_.string(); }
    bool isEmpty() const { return path_.empty(); }
    // Last path component, extension included ("rose.dst").
    std::string lastPathComponent() const { return path_.filename().string(); }
    // Extension without the dot ("dst"), as written; "" when there is none.
    std::string pathExtension() const;
    VDLURL URLByDeletingPathExtension() const;
    VDLURL URLByAppendingPathExtension(const std::string& ext) const;
    std::string description() const { return "file://" + path_.string(); }
    bool operator==(const VDLURL&) const = default;

private:
    std::filesystem::path path_;
};
