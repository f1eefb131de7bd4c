#include "TestSupport.h"

#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <sstream>
#include <fstream>
#include <iterator>
#include <random>
#include <unistd.h>

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("vardelle-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

VDLDesign makeDesign(const std::vector<VDLStitch>& stitches, const std::string& type) {
    VDLDesign d;
    d.setStitches(stitches);
    size_t blocks = 1;
    for (const auto& s : stitches)
        if (s.isColorChange) ++blocks;
    for (size_t i = 0; i < blocks; ++i) d.threads().emplace_back(std::to_string(i % 20 + 1), "Undefined");
    d.setDesignType(type);
    d.setDesignVersion(10);
    d.recomputeBounds();
    d.setDisplayRange(VDLRange{0, stitches.size()});
    return d;
}

std::vector<VDLPoint> absolutePositions(const VDLDesign& d) {
    std::vector<VDLPoint> out;
    out.reserve(d.stitches().size());
    float x = 0, y = 0;
    for (const auto& s : d.stitches()) {
        x += s.deltaX;
        y += s.deltaY;
        out.push_back({double(x), double(y)});
    }
    return out;
}

// Fontconfig (behind Cairo's text) keeps its configuration and caches for the life of the
// process; under LeakSanitizer they would fail every suite that draws text.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

std::string shellQuoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

CliRun runCli(const TempDir& dir, const std::vector<std::string>& args) {
    std::string cmd = shellQuoted(VARDELLE_BINARY_DIR "/vardelle-cli");
    for (const auto& a : args) cmd += " " + shellQuoted(a);
    cmd += " >" + shellQuoted(dir.file("stdout.txt")) + " 2>" + shellQuoted(dir.file("stderr.txt"));
    const int raw = std::system(cmd.c_str());
    CliRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(dir.file("stdout.txt"));
    r.err = slurp(dir.file("stderr.txt"));
    return r;
}

size_t selectedStitchCount(const VDLDesign& d) {
    size_t n = 0;
    for (const VDLStitch& s : d.stitches()) n += s.isSelected ? 1 : 0;
    return n;
}
