// The thumbnail: the design stitched flat on white, centred in a 600 x 600 square.
#include "VDLDesign.h"
#include "VDLGraphicsContext.h"
#include "VDLQuickLookGenerator.h"

namespace {

void drawThumbnail(VDLQLThumbnailRequestRef thumbnail, const char* url) {
    constexpr double kSize = VARDELLE_QUICKLOOK_THUMBNAIL_SIZE;
    VDLQLContextLease lease(thumbnail, VDLQLSize{kSize, kSize});
    VDLGraphicsContext* context = lease.context();
    if (!context) return;

    // A file that does not import leaves the thumbnail empty.
    VDLDesign design;
    if (!design.importDesignFromURL(VDLURL::fileURLWithPath(VDLQLPathFromURL(url)))) return;

    const double w = design.designWidth();
    const double h = design.designHeight();
    const double xMin = design.xMin();
    const double yMin = design.yMin();
    const double f = VDLQLFitFactor(kSize, kSize, w, h);

    context->saveGState();
    context->setFillColor(VDLRGBA{1, 1, 1, 1});
    context->fillRect(0, 0, kSize, kSize);
    context->translate(kSize / 2 - w / 2 * f - xMin * f, kSize / 2 - h / 2 * f - yMin * f);
    context->scale(f, f);
    design.drawDesignInRect(VDLMakeRect(xMin, yMin, w, h), *context, false, false, false);
    context->restoreGState();
}

}  // namespace

VDL_PLUGIN_EXPORT VDLOSStatus GenerateThumbnailForURL(void* /*thisInterface*/, VDLQLThumbnailRequestRef thumbnail,
                                                      const char* url, const char* /*contentTypeUTI*/,
                                                      VDLQLOptionsRef /*options*/, VDLQLSize /*maxSize*/) {
    try {
        drawThumbnail(thumbnail, url);
    } catch (...) {
        // Nothing may escape into the host; the thumbnail stays as far as it got.
    }
    return 0;
}

VDL_PLUGIN_EXPORT void CancelThumbnailGeneration(void* /*thisInterface*/, VDLQLThumbnailRequestRef /*thumbnail*/) {}
