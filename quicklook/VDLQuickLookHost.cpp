#include "VDLQuickLookHost.h"

#include <algorithm>
#include <cmath>

#if defined(__SANITIZE_ADDRESS__)
// Fontconfig (behind the preview page's text) keeps its configuration and caches for the life
// of the process; in sanitizer builds the hosts would otherwise end with a leak report. Weak,
// so a program that brings its own suppressions keeps them.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace {

// Passes every call on to the host's context and notes whether anything was painted, so the
// host can tell an empty result from a drawn one.
class PaintTracker final : public VDLGraphicsContext {
public:
    explicit PaintTracker(VDLGraphicsContext& target) : t_(target) {}
    bool painted = false;

    void saveGState() override { t_.saveGState(); }
    void restoreGState() override { t_.restoreGState(); }
    void setLineCap(VDLLineCap cap) override { t_.setLineCap(cap); }
    void setLineWidth(double w) override { t_.setLineWidth(w); }
    void setLineDash(double phase, const std::vector<double>& lengths) override { t_.setLineDash(phase, lengths); }
    void setStrokeColor(const VDLRGBA& c) override { t_.setStrokeColor(c); }
    void setFillColor(const VDLRGBA& c) override { t_.setFillColor(c); }
    void beginPath() override { t_.beginPath(); }
    void moveTo(double x, double y) override { t_.moveTo(x, y); }
    void lineTo(double x, double y) override { t_.lineTo(x, y); }
    void addArc(double cx, double cy, double r, double a0, double a1, bool cw) override { t_.addArc(cx, cy, r, a0, a1, cw); }
    void closePath() override { t_.closePath(); }
    void addRect(double x, double y, double w, double h) override { t_.addRect(x, y, w, h); }
    void strokePath() override {
        painted = true;
        t_.strokePath();
    }
    void fillPath() override {
        painted = true;
        t_.fillPath();
    }
    void eoFillPath() override {
        painted = true;
        t_.eoFillPath();
    }
    void clip() override { t_.clip(); }
    void fillRect(double x, double y, double w, double h) override {
        painted = true;
        t_.fillRect(x, y, w, h);
    }
    void strokeRect(double x, double y, double w, double h) override {
        painted = true;
        t_.strokeRect(x, y, w, h);
    }
    void drawLinearGradient(const std::vector<VDLGradientStop>& stops, double x0, double y0, double x1,
                            double y1) override {
        painted = true;
        t_.drawLinearGradient(stops, x0, y0, x1, y1);
    }
    void translate(double tx, double ty) override { t_.translate(tx, ty); }
    void scale(double sx, double sy) override { t_.scale(sx, sy); }
    void selectFont(const std::string& family, double size, bool bold) override { t_.selectFont(family, size, bold); }
    void showText(double x, double y, const std::string& utf8) override {
        painted = painted || !utf8.empty();
        t_.showText(x, y, utf8);
    }
    double textWidth(const std::string& utf8) override { return t_.textWidth(utf8); }
    // Image targets lend their pixels through the wrapper, so designs reach them by the pixel path.
    bool beginPixelAccess(VDLPixelTarget& target) override {
        const bool lent = t_.beginPixelAccess(target);
        painted = painted || lent;
        return lent;
    }
    void endPixelAccess() override { t_.endPixelAccess(); }

private:
    VDLGraphicsContext& t_;
};

// One request as the generator sees it (the C record first, so the record's address is the
// request's) and what the host learns of it.
struct HostRequest {
    VDLQLRequest request{};
    const VDLQuickLookGenerator::ContextFactory* contextFor = nullptr;
    std::unique_ptr<PaintTracker> tracker;
    VDLQLRequestResult result;
};

HostRequest* hostOf(VDLQLRequest* request) { return request ? static_cast<HostRequest*>(request->hostData) : nullptr; }

VDLGraphicsContextRef createContext(VDLQLRequest* request, VDLQLSize size, bool /*isBitmap*/) {
    HostRequest* host = hostOf(request);
    if (!host || host->tracker || !(*host->contextFor)) return nullptr;  // one context per request
    if (!std::isfinite(size.width) || !std::isfinite(size.height) || size.width <= 0 || size.height <= 0) return nullptr;
    VDLGraphicsContext* target = (*host->contextFor)(size);
    if (!target) return nullptr;
    host->tracker = std::make_unique<PaintTracker>(*target);
    host->result.contextCreated = true;
    host->result.size = size;
    return host->tracker.get();
}

void flushContext(VDLQLRequest* request, VDLGraphicsContextRef context) {
    HostRequest* host = hostOf(request);
    if (host && host->tracker && context == host->tracker.get()) host->result.flushed = true;
}

void releaseContext(VDLQLRequest* request, VDLGraphicsContextRef context) {
    HostRequest* host = hostOf(request);
    if (host && host->tracker && context == host->tracker.get()) host->result.released = true;
}

void prepareRequest(HostRequest& host, const VDLQuickLookGenerator::ContextFactory& contextFor) {
    host.request.hostData = &host;
    host.request.createContext = createContext;
    host.request.flushContext = flushContext;
    host.request.releaseContext = releaseContext;
    host.contextFor = &contextFor;
}

VDLQLRequestResult finish(HostRequest& host) {
    VDLQLRequestResult r = host.result;
    r.painted = host.tracker && host.tracker->painted;
    return r;
}

}  // namespace

std::unique_ptr<VDLQuickLookGenerator> VDLQuickLookGenerator::load(const std::string& path, std::string* error) {
    const std::string where = path.empty() ? VDLFindPlugIn(VARDELLE_QUICKLOOK_LIBRARY) : path;
    if (where.empty()) {
        if (error) *error = VARDELLE_QUICKLOOK_LIBRARY " not found (set VARDELLE_PLUGIN_DIR)";
        return nullptr;
    }
    std::unique_ptr<VDLPlugInModule> module = VDLPlugInModule::load(where, error);
    if (!module) return nullptr;
    void* instance = module->createInstance(kVDLQLGeneratorTypeID, error);
    if (!instance) return nullptr;
    void* iface = VDLQueryInterface(instance, kVDLQLGeneratorCallbacksInterfaceID);
    if (!iface) {
        VDLReleaseInstance(instance);
        if (error) *error = where + ": the plug-in has no generator callbacks";
        return nullptr;
    }
    return std::unique_ptr<VDLQuickLookGenerator>(new VDLQuickLookGenerator(std::move(module), instance, iface));
}

VDLQuickLookGenerator::~VDLQuickLookGenerator() {
    VDLReleaseInstance(interface_);
    VDLReleaseInstance(instance_);
}

const VDLQLGeneratorInterfaceStruct* VDLQuickLookGenerator::table() const {
    return *static_cast<VDLQLGeneratorInterfaceStruct**>(interface_);
}

VDLQLRequestResult VDLQuickLookGenerator::generateThumbnail(const std::string& url, const ContextFactory& contextFor) {
    HostRequest host;
    prepareRequest(host, contextFor);
    const VDLQLSize maxSize{VARDELLE_QUICKLOOK_THUMBNAIL_SIZE, VARDELLE_QUICKLOOK_THUMBNAIL_SIZE};
    if (table()->GenerateThumbnailForURL)
        table()->GenerateThumbnailForURL(interface_, &host.request, url.c_str(), nullptr, nullptr, maxSize);
    return finish(host);
}

VDLQLRequestResult VDLQuickLookGenerator::generatePreview(const std::string& url, const ContextFactory& contextFor) {
    HostRequest host;
    prepareRequest(host, contextFor);
    if (table()->GeneratePreviewForURL) table()->GeneratePreviewForURL(interface_, &host.request, url.c_str(), nullptr, nullptr);
    return finish(host);
}

std::unique_ptr<VDLCairoContext> VDLQuickLookGenerator::thumbnailImage(const std::string& url, int pixels) {
    if (pixels < 1) return nullptr;
    std::unique_ptr<VDLCairoContext> image;
    const ContextFactory contextFor = [&](VDLQLSize size) -> VDLGraphicsContext* {
        image = VDLCairoContext::imageContext(pixels, pixels);
        if (!image->ok()) return nullptr;
        // The generator draws Y-up in its own points; the image is PIXELS square, Y-down.
        image->flipVertically(pixels);
        image->scale(pixels / size.width, pixels / size.height);
        return image.get();
    };
    const VDLQLRequestResult r = generateThumbnail(url, contextFor);
    if (!r.contextCreated || !r.flushed || !r.painted) return nullptr;
    return image;
}

std::unique_ptr<VDLCairoContext> VDLQuickLookGenerator::previewDocument(const std::string& url, VDLCairoContext::Kind kind) {
    std::unique_ptr<VDLCairoContext> page;
    const ContextFactory contextFor = [&](VDLQLSize size) -> VDLGraphicsContext* {
        switch (kind) {
            case VDLCairoContext::Kind::Image:
                page = VDLCairoContext::imageContext(int(std::lround(size.width)), int(std::lround(size.height)));
                break;
            case VDLCairoContext::Kind::PDF:
                page = VDLCairoContext::pdfContext(size.width, size.height);
                break;
            case VDLCairoContext::Kind::SVG:
                page = VDLCairoContext::svgContext(size.width, size.height);
                break;
            default:
                return nullptr;
        }
        if (!page || !page->ok()) return nullptr;
        page->setFillColor(VDLRGBA{1, 1, 1, 1});
        page->fillRect(0, 0, size.width, size.height);
        page->flipVertically(size.height);
        return page.get();
    };
    const VDLQLRequestResult r = generatePreview(url, contextFor);
    if (!r.contextCreated || !r.flushed || !r.painted) return nullptr;
    return page;
}
