#include "VDLPrintView.h"

#include "VDLDefaults.h"
#include "VDLError.h"
#include "VDLFile.h"
#include "VDLFormat.h"
#include "VDLLocalization.h"
#include "VDLPainterContext.h"
#include "VDLSewingFacts.h"
#include "VDLValueTransformer.h"

#include <QFile>
#include <QFontMetricsF>
#include <QLocale>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>

#ifndef VARDELLE_VERSION
#define VARDELLE_VERSION "0.0.0"
#endif

namespace {

const char* const kFontName = "Lucida Grande";
constexpr double kFontSize = 7;
constexpr double kFooterFontSize = 5;
const char* const kTable = "VDLDocument";
const char* const kSwatchGlyph = "\xE2\x96\x88 ";  // "█ "
const char* const kBundleName = "Vardelle";

constexpr double kPointsPerUnit = 72.0 / 254.0;  // 0.1 mm at true size
constexpr double kFrameMargin = 5;                // design units around the design
constexpr double kHoopCornerRadius = 20;
const VDLRGBA kBlack{0, 0, 0, 1};
const VDLRGBA kWhite{1, 1, 1, 1};
const VDLRGBA kGray{0.5, 0.5, 0.5, 1};
const VDLRGBA kRed{1, 0, 0, 1};
const VDLRGBA kHoopShade{0.35, 0.35, 0.35, 0.15};

std::string localized(const char* key, const char* englishDefault) {
    return VDLLocalizedString(key, kTable, englishDefault);
}

bool printDefault(const char* key, bool registeredValue) {
    const QVariant v = VDLDefaults::standard().value(QString::fromLatin1(key));
    return v.isValid() ? v.toBool() : registeredValue;
}

// A count with the locale's grouping ("#,##0").
std::string grouped(int64_t n) { return QLocale().toString(qlonglong(n)).toStdString(); }

double fontMetric(double size, bool cap) {
    const QFontMetricsF m(VDLPainterContext::fontForFamily(kFontName, false));
    return (cap ? m.capHeight() : m.ascent()) * size / 100.0;
}

// Text whose top (not baseline) is at Y, as the page is laid out from the top.
void textAt(VDLGraphicsContext& ctx, double x, double y, double size, const std::string& text) {
    ctx.showText(x, y + fontMetric(size, false), text);
}

void strokeLine(VDLGraphicsContext& ctx, double x0, double y0, double x1, double y1) {
    ctx.beginPath();
    ctx.moveTo(x0, y0);
    ctx.lineTo(x1, y1);
    ctx.strokePath();
}

// The hoop outline centred on the origin: an ellipse or a rectangle with rounded corners.
void addHoopShape(VDLGraphicsContext& ctx, double w, double h, bool round) {
    if (round) {
        constexpr int kSegments = 180;
        for (int i = 0; i <= kSegments; ++i) {
            const double a = 2 * M_PI * i / kSegments;
            const double x = w / 2 * std::cos(a), y = h / 2 * std::sin(a);
            if (i == 0)
                ctx.moveTo(x, y);
            else
                ctx.lineTo(x, y);
        }
        ctx.closePath();
        return;
    }
    const double r = std::min({kHoopCornerRadius, w / 2, h / 2});
    const double x0 = -w / 2, y0 = -h / 2, x1 = w / 2, y1 = h / 2;
    ctx.moveTo(x0 + r, y0);
    ctx.addArc(x1 - r, y0 + r, r, -M_PI / 2, 0, false);
    ctx.addArc(x1 - r, y1 - r, r, 0, M_PI / 2, false);
    ctx.addArc(x0 + r, y1 - r, r, M_PI / 2, M_PI, false);
    ctx.addArc(x0 + r, y0 + r, r, M_PI, 3 * M_PI / 2, false);
    ctx.closePath();
}

}  // namespace

VDLPrintSettings VDLPrintSettings::fromDefaults() {
    VDLPrintSettings s;
    s.fastMode = printDefault("PrintFastMode", true);
    s.grid = printDefault("PrintGrid", true);
    s.jumps = printDefault("PrintJumps", true);
    s.center = printDefault("PrintCenter", false);
    s.hoop = printDefault("PrintHoop", false);
    s.structure = printDefault("PrintStructure", false);
    s.first = printDefault("PrintFirst", false);
    s.last = printDefault("PrintLast", false);
    s.templateMode = printDefault("PrintTemplate", false);
    return s;
}

VDLPrintView::VDLPrintView(const VDLDesign& design) : printDesign_(design) {
    printDesign_.setDisplayRange(VDLRange{0, uint64_t(printDesign_.stitches().size())});
}

double VDLPrintView::lineStep() { return 2 * fontMetric(kFontSize, true); }

void VDLPrintView::knowsPageRange(QPrinter& printer) {
    printer.setFullPage(false);
    printer.setPageMargins(pageMargins(), QPageLayout::Point);
    const QPageLayout layout = printer.pageLayout();
    pageRect_ = layout.paintRect(QPageLayout::Point);
}

double VDLPrintView::drawDesignInFrame(VDLGraphicsContext& ctx, const VDLDesign& design, const QRectF& frame,
                                       const VDLPrintSettings& settings) {
    const double dw = design.designWidth(), dh = design.designHeight();
    if (frame.width() <= 0 || frame.height() <= 0) return 0;
    // Fit the design with its margin; what the frame shows beyond it is centred around it.
    const double k = std::min(frame.width() / (dw + 2 * kFrameMargin), frame.height() / (dh + 2 * kFrameMargin));
    if (!std::isfinite(k) || k <= 0) return 0;
    const double bw = frame.width() / k, bh = frame.height() / k;
    const VDLRect bounds =
        VDLMakeRect(design.xMin() + (dw - bw) / 2, design.yMin() + (dh - bh) / 2, bw, bh);
    const double s = 1 / k;  // one point in design units

    ctx.saveGState();
    ctx.beginPath();
    ctx.addRect(frame.x(), frame.y(), frame.width(), frame.height());
    ctx.clip();
    ctx.setFillColor(kWhite);
    ctx.fillRect(frame.x(), frame.y(), frame.width(), frame.height());
    // Design space, Y up, bounds onto the frame.
    ctx.translate(frame.x(), frame.bottom());
    ctx.scale(k, -k);
    ctx.translate(-bounds.minX(), -bounds.minY());
    ctx.setLineCap(VDLLineCap::Butt);
    ctx.setLineDash(0, {});

    if (settings.grid) {
        const int unit = int(VDLValueTransformer::measurementUnit());
        const double step = unit == 1 || unit == 2 ? 127 : 100;
        ctx.setStrokeColor(kGray);
        ctx.setLineWidth(0.4 * s);
        for (double x = std::ceil(bounds.minX() / step) * step; x <= bounds.maxX(); x += step)
            strokeLine(ctx, std::trunc(x), bounds.minY(), std::trunc(x), bounds.maxY());
        for (double y = std::ceil(bounds.minY() / step) * step; y <= bounds.maxY(); y += step)
            strokeLine(ctx, bounds.minX(), std::trunc(y), bounds.maxX(), std::trunc(y));
        ctx.setLineWidth(0.8 * s);
        strokeLine(ctx, bounds.minX(), 0, bounds.maxX(), 0);
        strokeLine(ctx, 0, bounds.minY(), 0, bounds.maxY());
    }

    design.drawDesignInRect(bounds, ctx, !settings.fastMode, settings.jumps, settings.structure);

    if (settings.center) {
        const VDLPoint c = design.centerOfDesign();
        ctx.setStrokeColor(kRed);
        ctx.setLineWidth(s);
        strokeLine(ctx, c.x - 30 * s, c.y, c.x + 30 * s, c.y);
        strokeLine(ctx, c.x, c.y - 30 * s, c.x, c.y + 30 * s);
        ctx.beginPath();
        ctx.addArc(c.x, c.y, 15 * s, 0, 2 * M_PI, false);
        ctx.closePath();
        ctx.strokePath();
    }
    if (settings.hoop && design.hoopWidth() > 0) {
        ctx.setFillColor(kHoopShade);
        ctx.beginPath();
        ctx.addRect(bounds.minX(), bounds.minY(), bounds.size.width, bounds.size.height);
        addHoopShape(ctx, design.hoopWidth() * 10.0, design.hoopHeight() * 10.0, design.hoopIsRound());
        ctx.eoFillPath();
    }
    if (settings.first) {
        const VDLPoint p = design.firstStitch();
        ctx.setStrokeColor(kBlack);
        ctx.setLineWidth(0.5 * s);
        strokeLine(ctx, bounds.minX(), p.y, bounds.maxX(), p.y);
        strokeLine(ctx, p.x, bounds.minY(), p.x, bounds.maxY());
    }
    if (settings.last) {
        const VDLPoint p = design.lastStitch();
        ctx.setStrokeColor(kBlack);
        ctx.setLineWidth(0.8 * s);
        ctx.setLineDash(0, {4 * s, 3 * s});
        strokeLine(ctx, bounds.minX(), p.y, bounds.maxX(), p.y);
        strokeLine(ctx, p.x, bounds.minY(), p.x, bounds.maxY());
        ctx.setLineDash(0, {});
    }
    ctx.restoreGState();
    return k;
}

void VDLPrintView::drawPage(VDLGraphicsContext& ctx, const VDLPrintSettings& settings) {
    const VDLDesign& design = printDesign_;
    const double h = lineStep();
    double y = pageRect_.top();

    ctx.saveGState();
    ctx.setFillColor(kBlack);
    ctx.selectFont(kFontName, kFontSize, true);
    textAt(ctx, pageRect_.left(), y, kFontSize, design.designName());
    y += 2 * h;
    ctx.selectFont(kFontName, kFontSize, false);

    double footerY;
    if (!settings.templateMode) {
        // The colour list: palette, a blank line, one swatch and name per thread.
        struct Line {
            std::string text;
            bool swatch = false;
            VDLRGBA color;
        };
        std::vector<Line> lines;
        lines.push_back({design.useThreadFile()
                             ? VDLFormat(localized("PATTERN_PALETTE2", "%@ (external)"), design.designPaletteName())
                             : VDLFormat(localized("PATTERN_PALETTE1", "%@ (internal)"), design.designPaletteName()),
                         false, {}});
        lines.push_back({" ", false, {}});
        // Each thread with the top thread it needs.
        const VDLSewingFacts facts = VDLSewingFacts::of(design);
        const int64_t unit = VDLValueTransformer::measurementUnit();
        for (size_t k = 0; k < design.threads().size(); ++k) {
            const VDLThread& t = design.threads()[k];
            const std::string length = k < facts.threadMM.size() ? VDLSewingFacts::lengthText(facts.threadMM[k], unit) : "";
            lines.push_back({t.name() + (length.empty() ? "" : "  (" + length + ")"), true,
                             VDLRGBA{t.color().red(), t.color().green(), t.color().blue(), 1}});
        }
        const double swatchWidth = ctx.textWidth(kSwatchGlyph);
        double listWidth = 0;
        for (const Line& l : lines) listWidth = std::max(listWidth, ctx.textWidth(l.text) + (l.swatch ? swatchWidth : 0));

        const double frameWidth = pageRect_.width() - listWidth - 20;
        designFrame_ = QRectF(pageRect_.left() + 5, y, frameWidth, 0.75 * frameWidth);
        drawDesignInFrame(ctx, design, designFrame_, settings);

        const double listX = pageRect_.right() - listWidth;
        double listY = y;
        for (const Line& l : lines) {
            double x = listX;
            if (l.swatch) {
                ctx.setFillColor(l.color);
                textAt(ctx, x, listY, kFontSize, kSwatchGlyph);
                x += swatchWidth;
            }
            ctx.setFillColor(kBlack);
            textAt(ctx, x, listY, kFontSize, l.text);
            listY += h;
        }

        y = std::max(listY, designFrame_.bottom()) + h;
        textAt(ctx, pageRect_.left(), y, kFontSize,
               VDLFormat(localized("PATTERN_VERSION", "Version: %@ %1.1f"), design.designType(),
                         design.designVersion() / 10.0));
        y += h;
        VDLValueTransformer transformer;
        const std::string width = transformer.transformedValue(design.designWidth() / 10.0);
        const std::string height = transformer.transformedValue(design.designHeight() / 10.0);
        textAt(ctx, pageRect_.left(), y, kFontSize,
               design.hoopWidth() < 1 || design.hoopHeight() < 1
                   ? VDLFormat(localized("PATTERN_DIMENSION2", "Size: %@ x %@"), width, height)
                   : VDLFormat(localized("PATTERN_DIMENSION1", "Size: %@ x %@, hoop: %@"), width, height,
                               design.hoopName()));
        y += 2 * h;
        textAt(ctx, pageRect_.left(), y, kFontSize,
               VDLFormat(localized("PATTERN_STITCHES", "Stitches: %@, jump stitches: %@"),
                         grouped(design.numberOfStitches()), grouped(design.numberOfJumps())));
        y += h;
        textAt(ctx, pageRect_.left(), y, kFontSize,
               VDLFormat(localized("PATTERN_COLORS", "Colors: %i, different colors: %i"), design.numberOfThreads(),
                         design.numberOfDifferentColors()));
        y += h;
        const int speed = VDLDefaults::standard().integerForKey(QStringLiteral("StitchSpeed"));
        // Time and thread on lines of their own, so the sheet's width holds them.
        const std::string summary = facts.summary(double(speed) * 600.0, unit);
        const size_t split = summary.find("; ");
        textAt(ctx, pageRect_.left(), y, kFontSize, summary.substr(0, split));
        if (split != std::string::npos) {
            y += h;
            std::string rest = summary.substr(split + 2);
            if (!rest.empty()) rest[0] = char(std::toupper(static_cast<unsigned char>(rest[0])));
            textAt(ctx, pageRect_.left(), y, kFontSize, rest);
        }
        footerY = y + 2 * h;
    } else {
        // True size: the design and its margin at 72 / 254 points per unit, framed.
        designFrame_ = QRectF(pageRect_.left() + 5, y, (design.designWidth() + 2 * kFrameMargin) * kPointsPerUnit,
                              (design.designHeight() + 2 * kFrameMargin) * kPointsPerUnit);
        drawDesignInFrame(ctx, design, designFrame_, settings);
        ctx.setStrokeColor(kBlack);
        ctx.setLineWidth(0.5);
        ctx.strokeRect(designFrame_.x(), designFrame_.y(), designFrame_.width(), designFrame_.height());
        footerY = designFrame_.bottom() + 1.5 * h;
    }

    // Footer: application, version and notice, right-aligned.
    ctx.setFillColor(kBlack);
    ctx.selectFont(kFontName, kFooterFontSize, false);
    const std::string notice =
        VDLLocalizedString("NSHumanReadableCopyright", "InfoPlist", "Copyright \xC2\xA9 The Vardelle developers");
    const std::string footer = VDLFormat("%@ v%@, %@", kBundleName, VARDELLE_VERSION, notice);
    textAt(ctx, pageRect_.right() - ctx.textWidth(footer), footerY, kFooterFontSize, footer);
    ctx.restoreGState();
}

bool VDLPrintView::print(QPrinter& printer, const VDLPrintSettings& settings) {
    return print(printer, std::vector<VDLPrintSettings>{settings});
}

bool VDLPrintView::print(QPrinter& printer, const std::vector<VDLPrintSettings>& pages) {
    knowsPageRange(printer);
    QPainter painter;
    if (pages.empty() || !painter.begin(&printer)) return false;
    // The painter starts at the printable area's corner in device pixels: make it the paper
    // in points, as the page is laid out.
    const double dotsPerPoint = printer.resolution() / 72.0;
    painter.scale(dotsPerPoint, dotsPerPoint);
    painter.translate(-pageRect_.left(), -pageRect_.top());
    for (size_t i = 0; i < pages.size(); ++i) {
        if (i > 0 && !printer.newPage()) return false;
        VDLPainterContext ctx(&painter);
        drawPage(ctx, pages[i]);
    }
    return painter.end();
}

bool VDLPrintView::writePDF(const QString& path, const VDLPrintSettings& settings, VDLError* error) {
    return writePDF(path, std::vector<VDLPrintSettings>{settings}, error);
}

bool VDLPrintView::writePDF(const QString& path, const std::vector<VDLPrintSettings>& pages, VDLError* error) {
    // QPrinter writes in place; the PDF is made in a temporary folder and then replaces the
    // target atomically, so a failure leaves an existing file as it was.
    QTemporaryDir dir;
    const QString temporary = dir.path() + QStringLiteral("/page.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(temporary);
    printer.setCreator(QStringLiteral("Vardelle"));
    printer.setDocName(QString::fromStdString(printDesign_.designName()));
    if (!dir.isValid() || !print(printer, pages)) return VDLPOSIXError(error, EIO, path.toStdString());
    QFile f(temporary);
    if (!f.open(QIODevice::ReadOnly)) return VDLPOSIXError(error, EIO, path.toStdString());
    const QByteArray bytes = f.readAll();
    return VDLWriteFileAtomically(path.toStdString(), bytes.constData(), size_t(bytes.size()), error);
}
