// vardelle-thumbnailer -s SIZE INPUT OUTPUT
// The desktop's thumbnailer for embroidery designs: loads the preview plug-in, asks it for the
// thumbnail of INPUT (a path or a file URL), scales it to SIZE x SIZE pixels and writes OUTPUT
// as PNG. Runs without a display or network. A file that does not give a picture writes
// nothing and exits with status 1, so the file manager does not keep an empty thumbnail;
// usage errors exit with status 2.
#include "VDLError.h"
#include "VDLQuickLookHost.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kMinSize = 1;
constexpr int kMaxSize = 4096;

int usage() {
    std::fprintf(stderr, "usage: vardelle-thumbnailer -s SIZE INPUT OUTPUT\n");
    return 2;
}

int fail(const std::string& message) {
    std::fprintf(stderr, "vardelle-thumbnailer: %s\n", message.c_str());
    return 1;
}

bool parseSize(const std::string& text, int& out) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end && !text.empty() && out >= kMinSize && out <= kMaxSize;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional;
    std::string sizeText;
    bool haveSize = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-s" || a == "--size") {
            if (i + 1 >= argc) return usage();
            sizeText = argv[++i];
            haveSize = true;
        } else if (a.rfind("-s", 0) == 0 && a.size() > 2 && a[2] != '-') {
            sizeText = a.substr(2);
            haveSize = true;
        } else if (a == "-h" || a == "--help") {
            std::printf("usage: vardelle-thumbnailer -s SIZE INPUT OUTPUT\n"
                        "  -s, --size SIZE   width and height of the thumbnail in pixels (1 to 4096)\n"
                        "  -h, --help        this text\n");
            return 0;
        } else if (a.size() > 1 && a[0] == '-') {
            return usage();
        } else {
            positional.push_back(a);
        }
    }
    if (!haveSize || positional.size() != 2) return usage();
    int size = 0;
    if (!parseSize(sizeText, size))
        return fail("bad size '" + sizeText + "' (a whole number from " + std::to_string(kMinSize) + " to " +
                    std::to_string(kMaxSize) + ")");
    const std::string& input = positional[0];
    const std::string& output = positional[1];

    std::string error;
    std::unique_ptr<VDLQuickLookGenerator> generator = VDLQuickLookGenerator::load({}, &error);
    if (!generator) return fail(error);

    std::unique_ptr<VDLCairoContext> image = generator->thumbnailImage(input, size);
    if (!image) return fail(input + ": no thumbnail (the file could not be read as an embroidery design)");

    VDLError writeError;
    if (!image->writeToFile(output, &writeError))
        return fail(output + ": " +
                    (writeError.domain == VDLPOSIXErrorDomain ? std::string(std::strerror(int(writeError.code)))
                                                              : writeError.message()));
    return 0;
}
