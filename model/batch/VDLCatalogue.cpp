#include "model/batch/VDLCatalogue.h"

#include "VDLCairoContext.h"
#include "VDLDesign.h"
#include "VDLError.h"
#include "VDLValueTransformer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {

constexpr double kMargin = 36;       // half an inch round the page
constexpr double kTitleSize = 16;
constexpr double kFooterSize = 9;
constexpr double kNameSize = 8.5;
constexpr double kTextSize = 7.5;
constexpr double kLine = 10;         // line height of the cell texts
constexpr double kPadding = 5;
constexpr double kSwatch = 6.5;
constexpr int kSwatchRows = 2;
const char* const kFont = "Sans";

// TEXT cut at the end (on a character boundary) with "…" so that it fits WIDTH.
std::string fitted(VDLGraphicsContext& context, const std::string& text, double width) {
    if (context.textWidth(text) <= width) return text;
    std::string cut = text;
    while (!cut.empty()) {
        do cut.pop_back();
        while (!cut.empty() && (static_cast<unsigned char>(cut.back()) & 0xC0) == 0x80);
        if (!cut.empty() && static_cast<unsigned char>(cut.back()) >= 0xC0) cut.pop_back();
        if (context.textWidth(cut + "…") <= width) return cut + "…";
    }
    return "…";
}

std::string threadLabel(const VDLThread& thread) {
    if (!thread.name().empty()) return thread.name();
    if (!thread.key().empty()) return thread.key();
    char buf[8];
    auto byte = [](double v) { return int(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", byte(thread.color().red()), byte(thread.color().green()),
                  byte(thread.color().blue()));
    return buf;
}

struct Grid {
    int cols, rows;
    double top, cellWidth, cellHeight;
};
constexpr double kGap = 6;

Grid gridFor(const VDLCatalogueLayout& layout) {
    const int perPage = std::max(1, layout.perPage);
    const double W = layout.pageWidth, H = layout.pageHeight;
    const double top = H - kMargin - kTitleSize - 10;
    const double areaW = W - 2 * kMargin, areaH = top - kMargin;
    const int cols = std::clamp(int(std::lround(std::sqrt(perPage * areaW / areaH))), 1, perPage);
    const int rows = (perPage + cols - 1) / cols;
    return {cols, rows, top, (areaW - (cols - 1) * kGap) / cols, (areaH - (rows - 1) * kGap) / rows};
}

// Texts under a design's picture: name, format and size, counts, swatch rows.
constexpr double kDesignTextHeight = kLine * (3 + kSwatchRows);

// Draws DESIGN fitted into the rectangle as the preview fits it.
void drawFitted(VDLGraphicsContext& context, const VDLDesign& design, double x, double y, double w, double h) {
    const double dw = std::max(1.0, double(design.designWidth()));
    const double dh = std::max(1.0, double(design.designHeight()));
    const double f = std::min(w / dw / 1.05, h / dh / 1.05);
    const double xMin = design.xMin(), yMin = design.yMin();
    context.translate(x + w / 2 - dw / 2 * f - xMin * f, y + h / 2 - dh / 2 * f - yMin * f);
    context.scale(f, f);
    design.drawDesignInRect(VDLMakeRect(xMin, yMin, dw, dh), context, false, false, false);
}

void strokeFrame(VDLGraphicsContext& context, double x, double y, double w, double h, double gray) {
    context.setStrokeColor(VDLRGBA{gray, gray, gray, 1});
    context.setLineWidth(0.5);
    context.strokeRect(x, y, w, h);
}

void drawCell(VDLGraphicsContext& context, const VDLCatalogueLayout& layout, const VDLCatalogueCell& cell, double x,
              double y, double w, double h) {
    strokeFrame(context, x, y, w, h, 0.8);
    const double textWidth = w - 2 * kPadding;
    const VDLDesign* design = cell.design;
    const int swatchRows = design ? kSwatchRows : 0;
    const double textHeight = design ? kDesignTextHeight : 2 * kLine;
    double line = y + kPadding + textHeight - kLine + 2;  // baseline of the first text line

    context.setFillColor(VDLRGBA{0, 0, 0, 1});
    context.selectFont(kFont, kNameSize, true);
    context.showText(x + kPadding, line, fitted(context, cell.fileName, textWidth));
    line -= kLine;
    context.selectFont(kFont, kTextSize, false);

    if (!design) {
        context.setFillColor(VDLRGBA{0.7, 0, 0, 1});
        context.showText(x + kPadding, line, fitted(context, cell.error, textWidth));
        return;
    }

    VDLValueTransformer transformer;
    const std::string size = transformer.transformedValue(design->designWidth() / 10.0, layout.unit) + " × " +
                             transformer.transformedValue(design->designHeight() / 10.0, layout.unit);
    context.showText(x + kPadding, line, fitted(context, design->designType() + "   " + size, textWidth));
    line -= kLine;
    const std::string counts = std::to_string(design->numberOfStitches()) + " stitches, " +
                               std::to_string(design->numberOfThreads()) +
                               (design->numberOfThreads() == 1 ? " colour" : " colours");
    context.showText(x + kPadding, line, fitted(context, counts, textWidth));
    line -= kLine;

    // Swatches with their names, flowing along the rows; what does not fit is counted.
    const auto& threads = design->threads();
    double at = x + kPadding;
    int row = 0;
    for (size_t i = 0; i < threads.size(); ++i) {
        const std::string label = threadLabel(threads[i]);
        const double labelWidth = std::min(context.textWidth(label), textWidth * 0.6);
        const double itemWidth = kSwatch + 2 + labelWidth + 6;
        if (at + itemWidth > x + w - kPadding && at > x + kPadding) {
            ++row;
            at = x + kPadding;
            line -= kLine;
        }
        const bool lastRow = row == swatchRows - 1;
        const size_t left = threads.size() - i;
        if (row >= swatchRows || (lastRow && left > 1 && at + itemWidth + 30 > x + w - kPadding)) {
            if (row >= swatchRows) line += kLine;
            context.setFillColor(VDLRGBA{0.3, 0.3, 0.3, 1});
            context.showText(std::min(at, x + w - kPadding - 28), line, "+" + std::to_string(left));
            break;
        }
        const VDLColor& c = threads[i].color();
        context.setFillColor(VDLRGBA{c.red(), c.green(), c.blue(), 1});
        context.fillRect(at, line - 1, kSwatch, kSwatch);
        strokeFrame(context, at, line - 1, kSwatch, kSwatch, 0.4);
        context.setFillColor(VDLRGBA{0, 0, 0, 1});
        context.showText(at + kSwatch + 2, line, fitted(context, label, labelWidth));
        at += itemWidth;
    }

    // The picture above the texts, fitted as the preview fits it.
    const double pictureBottom = y + kPadding + textHeight + 2;
    const double pw = w - 2 * kPadding;
    const double ph = y + h - kPadding - pictureBottom;
    if (pw <= 0 || ph <= 0) return;
    if (const VDLCairoContext* picture = cell.picture) {
        const uint8_t* pixels = picture->data();
        if (pixels && context.drawPixels(pixels, picture->width(), picture->height(), picture->stride(), x + kPadding,
                                         pictureBottom, pw, ph))
            return;
    }
    context.saveGState();
    context.beginPath();
    context.addRect(x + kPadding, pictureBottom, pw, ph);
    context.clip();
    drawFitted(context, *design, x + kPadding, pictureBottom, pw, ph);
    context.restoreGState();
}

}  // namespace

bool VDLCataloguePaper(const std::string& name, VDLCatalogueLayout& layout) {
    if (name == "a4") {
        layout.pageWidth = 595.28;
        layout.pageHeight = 841.89;
    } else if (name == "letter") {
        layout.pageWidth = 612;
        layout.pageHeight = 792;
    } else {
        return false;
    }
    return true;
}

void VDLCataloguePictureSize(const VDLCatalogueLayout& layout, double& width, double& height) {
    const Grid g = gridFor(layout);
    width = std::max(0.0, g.cellWidth - 2 * kPadding);
    height = std::max(0.0, g.cellHeight - 2 * kPadding - kDesignTextHeight - 2);
}

std::unique_ptr<VDLCairoContext> VDLCataloguePicture(const VDLDesign& design, const VDLCatalogueLayout& layout) {
    if (!(layout.pictureScale > 0)) return nullptr;
    double w = 0, h = 0;
    VDLCataloguePictureSize(layout, w, h);
    const int pw = int(std::ceil(std::min(w * layout.pictureScale, 4096.0)));
    const int ph = int(std::ceil(std::min(h * layout.pictureScale, 4096.0)));
    if (pw < 1 || ph < 1) return nullptr;
    auto picture = VDLCairoContext::imageContext(pw, ph);
    if (!picture->ok()) return nullptr;
    picture->setFillColor(VDLRGBA{1, 1, 1, 1});
    picture->fillRect(0, 0, pw, ph);
    picture->flipVertically(ph);
    drawFitted(*picture, design, 0, 0, pw, ph);
    return picture;
}

int VDLCataloguePageCount(size_t designs, int perPage) {
    if (perPage < 1) perPage = 1;
    return int(std::max<size_t>(1, (designs + size_t(perPage) - 1) / size_t(perPage)));
}

void VDLDrawCataloguePage(VDLGraphicsContext& context, const VDLCatalogueLayout& layout, int page, int pageCount,
                          const std::vector<VDLCatalogueCell>& cells) {
    const double W = layout.pageWidth, H = layout.pageHeight;
    context.saveGState();
    context.setFillColor(VDLRGBA{1, 1, 1, 1});
    context.fillRect(0, 0, W, H);

    context.setFillColor(VDLRGBA{0, 0, 0, 1});
    context.selectFont(kFont, kTitleSize, true);
    context.showText(kMargin, H - kMargin - kTitleSize + 4, fitted(context, layout.title, W - 2 * kMargin));
    context.selectFont(kFont, kFooterSize, false);
    const std::string number = "Page " + std::to_string(page + 1) + " of " + std::to_string(pageCount);
    context.showText((W - context.textWidth(number)) / 2, kMargin - kFooterSize - 4, number);

    const int perPage = std::max(1, layout.perPage);
    const Grid g = gridFor(layout);
    for (size_t i = 0; i < cells.size() && i < size_t(perPage); ++i) {
        const int c = int(i) % g.cols, r = int(i) / g.cols;
        drawCell(context, layout, cells[i], kMargin + c * (g.cellWidth + kGap),
                 g.top - (r + 1) * g.cellHeight - r * kGap, g.cellWidth, g.cellHeight);
    }
    context.restoreGState();
}

VDLCatalogueResult VDLMakeCatalogue(const std::vector<VDLBatchFile>& files, const VDLCatalogueLayout& layout,
                                    unsigned jobs, const std::atomic<bool>* cancel,
                                    const std::function<void(size_t, const VDLBatchFile&, const VDLBatchOutcome&)>& progress) {
    VDLCatalogueResult result;
    const int perPage = std::max(1, layout.perPage);
    const int pageCount = VDLCataloguePageCount(files.size(), perPage);
    auto pdf = VDLCairoContext::pdfContext(layout.pageWidth, layout.pageHeight);
    if (!pdf->ok()) return result;
    size_t done = 0;
    for (int page = 0; page < pageCount; ++page) {
        const size_t first = size_t(page) * size_t(perPage);
        const size_t count = std::min(files.size() - std::min(files.size(), first), size_t(perPage));
        std::vector<std::optional<VDLDesign>> designs(count);
        std::vector<std::unique_ptr<VDLCairoContext>> pictures(count);
        std::vector<VDLCatalogueCell> cells(count);
        VDLBatchRun(
            count, jobs,
            [&](size_t i) -> VDLBatchOutcome {
                const VDLBatchFile& file = files[first + i];
                const size_t slash = file.path.rfind('/');
                cells[i].fileName = slash == std::string::npos ? file.path : file.path.substr(slash + 1);
                VDLDesign design;
                VDLError error;
                if (!design.importDesignFromURL(VDLURL::fileURLWithPath(file.path), &error)) {
                    cells[i].error = error.domain == VDLPOSIXErrorDomain ? std::string(std::strerror(int(error.code)))
                                                                         : error.message();
                    return {VDLBatchOutcome::Status::Failed, cells[i].error, error.code};
                }
                pictures[i] = VDLCataloguePicture(design, layout);
                designs[i] = std::move(design);
                return {};
            },
            [&](size_t i, const VDLBatchOutcome& outcome) {
                if (outcome.status == VDLBatchOutcome::Status::Failed) ++result.unreadable;
                if (progress) progress(++done, files[first + i], outcome);
            },
            cancel);
        if (cancel && cancel->load()) {
            result.cancelled = true;
            return result;
        }
        for (size_t i = 0; i < count; ++i) {
            cells[i].design = designs[i] ? &*designs[i] : nullptr;
            cells[i].picture = pictures[i].get();
        }
        if (page > 0) pdf->showPage();
        pdf->saveGState();
        pdf->flipVertically(layout.pageHeight);
        VDLDrawCataloguePage(*pdf, layout, page, pageCount, cells);
        pdf->restoreGState();
    }
    result.pages = pageCount;
    result.pdf = pdf->outputData();
    return result;
}
