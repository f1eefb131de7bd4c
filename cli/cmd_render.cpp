// vardelle-cli render IN OUT [--size N] [--3d] [--jumps] [--points] [--thread I] [--cairo]
// Draws IN into an N x N picture on white, fitted with a margin the way the file-manager
// thumbnail fits it; OUT's extension picks PNG, SVG or PDF.
#include "Commands.h"
#include "VDLCairoContext.h"
#include "VDLDesign.h"
#include "VDLRasterRenderer.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <memory>

namespace {

const char* const kUsage = "render IN OUT [--size N] [--3d] [--jumps] [--points] [--thread I] [--cairo]";
constexpr int kDefaultSize = 1024;
constexpr int kMinSize = 8;
constexpr int kMaxSize = 8192;
constexpr double kMarginFactor = 1.05;  // the design fills 1 / 1.05 of the picture

bool parseInt(const std::string& s, long long& out) {
    const char* b = s.data();
    const char* e = b + s.size();
    auto [p, ec] = std::from_chars(b, e, out);
    return ec == std::errc() && p == e && !s.empty();
}

std::string lowercaseExtension(const std::string& path) {
    std::string ext = VDLURL::fileURLWithPath(path).pathExtension();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

}  // namespace

int cmdRender(const CLIArgs& args) {
    std::vector<std::string> positional;
    std::string sizeText;
    std::string threadText;
    bool show3D = false, showJumps = false, showPoints = false, haveSize = false, haveThread = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--size" || a == "--thread") {
            if (i + 1 >= args.size()) return cliUsage(kUsage);
            (a == "--size" ? sizeText : threadText) = args[++i];
            (a == "--size" ? haveSize : haveThread) = true;
        } else if (a == "--3d") {
            show3D = true;
        } else if (a == "--jumps") {
            showJumps = true;
        } else if (a == "--points") {
            showPoints = true;
        } else if (a == "--cairo") {
            // PNG pictures are drawn pixel by pixel; this draws them through Cairo instead,
            // the reference the pixel path is measured against.
            VDLSetRasterRenderingEnabled(false);
        } else if (a.size() > 1 && a[0] == '-') {
            return cliUsage(kUsage);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) return cliUsage(kUsage);
    const std::string& in = positional[0];
    const std::string& out = positional[1];

    const std::string ext = lowercaseExtension(out);
    if (ext != "png" && ext != "svg" && ext != "pdf")
        return cliFail(out + ": unknown output type '" + ext + "' (use .png, .svg or .pdf)");

    long long size = kDefaultSize;
    if (haveSize && (!parseInt(sizeText, size) || size < kMinSize || size > kMaxSize))
        return cliFail("bad size '" + sizeText + "' (a whole number from " + std::to_string(kMinSize) + " to " +
                       std::to_string(kMaxSize) + ")");
    long long thread = -1;
    if (haveThread && !parseInt(threadText, thread)) return cliFail("bad thread index '" + threadText + "'");

    VDLDesign design;
    if (!cliImport(in, design)) return 1;
    if (haveThread && (thread < 0 || thread >= design.numberOfThreads()))
        return cliFail("thread index " + threadText + " out of range (the design has " +
                       std::to_string(design.numberOfThreads()) + " threads, numbered from 0)");

    const double n = double(size);
    std::unique_ptr<VDLCairoContext> ctx = ext == "png"   ? VDLCairoContext::imageContext(int(size), int(size))
                                           : ext == "svg" ? VDLCairoContext::svgContext(n, n)
                                                          : VDLCairoContext::pdfContext(n, n);
    if (!ctx->ok()) return cliFail(out + ": cannot create a " + std::to_string(size) + " x " + std::to_string(size) + " picture");

    ctx->setFillColor(VDLRGBA{1, 1, 1, 1});
    ctx->fillRect(0, 0, n, n);
    ctx->flipVertically(n);

    // Fit as the thumbnail does: the larger side fills 1 / 1.05 of the square, centred. A
    // design that is a line or a point has no extent in one direction: count it as one unit.
    const double w = std::max(1.0, double(design.designWidth()));
    const double h = std::max(1.0, double(design.designHeight()));
    const double f = std::min(n / w / kMarginFactor, n / h / kMarginFactor);
    const double xMin = design.xMin(), yMin = design.yMin();
    ctx->translate(n / 2 - w / 2 * f - xMin * f, n / 2 - h / 2 * f - yMin * f);
    ctx->scale(f, f);
    design.drawDesignInRect(VDLMakeRect(xMin, yMin, w, h), *ctx, show3D, showJumps, showPoints, int32_t(thread));

    VDLError error;
    if (!ctx->writeToFile(out, &error)) return cliFail(out, error);
    return 0;
}
