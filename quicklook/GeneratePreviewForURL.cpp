// The preview page, 800 x 600: the design on the left, its statistics below it, the palette
// and one line per thread on the right, and the plug-in's name, version and notice at the foot.
#include "VDLDesign.h"
#include "VDLFormat.h"
#include "VDLGraphicsContext.h"
#include "VDLLocalization.h"
#include "VDLQuickLookGenerator.h"
#include "VDLUserDefaults.h"
#include "VDLValueTransformer.h"

#include <unicode/decimfmt.h>
#include <unicode/dcfmtsym.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <cstdio>
#include <memory>

#ifndef VARDELLE_VERSION
#define VARDELLE_VERSION "0.0.0"
#endif

namespace {

constexpr double kPageWidth = VARDELLE_QUICKLOOK_PREVIEW_WIDTH;
constexpr double kPageHeight = VARDELLE_QUICKLOOK_PREVIEW_HEIGHT;
const char* const kFontName = "Lucida Grande";
const char* const kTable = "VDLDocument";
const char* const kBundleName = "VardelleQuickLook";
const char* const kSwatchGlyph = "\xE2\x96\x88 ";  // "█ "

// The design area: (5, 70) to (610, 595).
constexpr double kAreaWidth = 605;
constexpr double kAreaHeight = 525;
constexpr double kAreaCenterX = 307.5;
constexpr double kAreaCenterY = 332.5;

// A count with grouped thousands in the user's locale ("#,##0").
std::string groupedCount(int64_t n) {
    UErrorCode status = U_ZERO_ERROR;
    auto* symbols = new icu::DecimalFormatSymbols(icu::Locale::getDefault(), status);
    icu::DecimalFormat format(icu::UnicodeString::fromUTF8("#,##0"), symbols, status);
    if (U_FAILURE(status)) return std::to_string(n);
    icu::UnicodeString text;
    format.format(static_cast<int64_t>(n), text);
    std::string utf8;
    text.toUTF8String(utf8);
    return utf8;
}

std::string localized(const char* key, const char* englishDefault) {
    return VDLLocalizedString(key, kTable, englishDefault);
}

void drawInformation(VDLGraphicsContext& context, const VDLDesign& design) {
    const VDLRGBA textColor{0, 0, 0, 1};
    context.selectFont(kFontName, 11, false);
    context.setFillColor(textColor);

    context.showText(20, 45, VDLFormat(localized("PATTERN_VERSION", "Version: %@ %1.1f"), design.designType(),
                                       design.designVersion() / 10.0));

    VDLValueTransformer transformer;
    const std::string width = transformer.transformedValue(design.designWidth() / 10.0);
    const std::string height = transformer.transformedValue(design.designHeight() / 10.0);
    const std::string dimension =
        design.hoopWidth() < 1 || design.hoopHeight() < 1
            ? VDLFormat(localized("PATTERN_DIMENSION2", "Size: %@ x %@"), width, height)
            : VDLFormat(localized("PATTERN_DIMENSION1", "Size: %@ x %@, hoop: %@"), width, height, design.hoopName());
    context.showText(20, 30, dimension);

    context.showText(20, 15, VDLFormat(localized("PATTERN_STITCHES", "Stitches: %@, jump stitches: %@"),
                                       groupedCount(design.numberOfStitches()), groupedCount(design.numberOfJumps())));
    context.showText(20, 0, VDLFormat(localized("PATTERN_COLORS", "Colors: %i, different colors: %i"),
                                      design.numberOfThreads(), design.numberOfDifferentColors()));

    const std::string palette = design.useThreadFile()
                                    ? VDLFormat(localized("PATTERN_PALETTE2", "%@ (external)"), design.designPaletteName())
                                    : VDLFormat(localized("PATTERN_PALETTE1", "%@ (internal)"), design.designPaletteName());
    context.showText(620, 580, palette);

    const double swatchWidth = context.textWidth(kSwatchGlyph);
    const auto& threads = design.threads();
    for (size_t i = 0; i < threads.size(); ++i) {
        const double y = 550 - 15 * double(i);
        const VDLColor& c = threads[i].color();
        context.setFillColor(VDLRGBA{c.red(), c.green(), c.blue(), 1});
        context.showText(620, y, kSwatchGlyph);
        context.setFillColor(textColor);
        context.showText(620 + swatchWidth, y, threads[i].name());
    }
}

void drawDesign(VDLGraphicsContext& context, const VDLDesign& design, bool show3D) {
    const double w = design.designWidth();
    const double h = design.designHeight();
    const double xMin = design.xMin();
    const double yMin = design.yMin();
    const double f = VDLQLFitFactor(kAreaWidth, kAreaHeight, w, h);
    context.saveGState();
    context.translate(kAreaCenterX - w / 2 * f - xMin * f, kAreaCenterY - h / 2 * f - yMin * f);
    context.scale(f, f);
    design.drawDesignInRect(VDLMakeRect(xMin, yMin, w, h), context, show3D, false, false);
    context.restoreGState();
}

void drawFooter(VDLGraphicsContext& context) {
    context.selectFont(kFontName, 7, false);
    context.setFillColor(VDLRGBA{0, 0, 0, 1});
    const std::string notice = VDLLocalizedString("NSHumanReadableCopyright", "InfoPlist",
                                                  "Copyright \xC2\xA9 The Vardelle developers");
    const std::string footer = VDLFormat("%@ v%@, %@", kBundleName, VARDELLE_VERSION, notice);
    context.showText(kPageWidth - context.textWidth(footer) - 30, 0, footer);
}

void drawPreview(VDLQLPreviewRequestRef preview, const char* url) {
    VDLQLContextLease lease(preview, VDLQLSize{kPageWidth, kPageHeight});
    VDLGraphicsContext* context = lease.context();
    if (!context) return;

    VDLDesign design;
    VDLError error;
    if (!design.importDesignFromURL(VDLURL::fileURLWithPath(VDLQLPathFromURL(url)), &error)) {
        const std::string line =
            VDLFormat("Error importing preview-URL=%@: %@", url ? url : "(null)", error.message());
        std::fprintf(stderr, "%s\n", line.c_str());
        return;
    }

    const bool show3D = !VDLPreferenceBool("DrawFastMode").value_or(false);
    drawInformation(*context, design);
    drawDesign(*context, design, show3D);
    drawFooter(*context);
}

}  // namespace

VDL_PLUGIN_EXPORT VDLOSStatus GeneratePreviewForURL(void* /*thisInterface*/, VDLQLPreviewRequestRef preview,
                                                    const char* url, const char* /*contentTypeUTI*/,
                                                    VDLQLOptionsRef /*options*/) {
    try {
        drawPreview(preview, url);
    } catch (...) {
        // Nothing may escape into the host; the page stays as far as it got.
    }
    return 0;
}

VDL_PLUGIN_EXPORT void CancelPreviewGeneration(void* /*thisInterface*/, VDLQLPreviewRequestRef /*preview*/) {}
