#pragma once
// app/print: the printed page, the print options and the painter context behind it. May use
// app/controller (print defaults), model/ and platform/; nothing of the document or its view.

// One printed page of a design, laid out in points with Y growing downwards: either the
// information sheet (name, the design fitted beside its colour list, the statistics, a footer)
// or a 1:1 template (one design unit of 0.1 mm = 72 / 254 points, framed). The page is drawn
// through a VDLGraphicsContext, so the same layout goes to a printer, a PDF, a preview or a
// recording context; printing uses VDLPainterContext over the QPrinter's painter.
//
// The design is drawn with the print settings ("PrintFastMode" ... "PrintTemplate") instead of
// the screen settings, on white.
#include "VDLDesign.h"
#include "VDLGeometry.h"

#include <QMarginsF>
#include <QRectF>
#include <QString>

#include <vector>

class QPrinter;
struct VDLError;

struct VDLPrintSettings {
    bool fastMode = true;
    bool grid = true;
    bool jumps = true;
    bool center = false;
    bool hoop = false;
    bool structure = false;
    bool first = false;
    bool last = false;
    bool templateMode = false;

    // The "Print..." user defaults (their registered values when none is set).
    static VDLPrintSettings fromDefaults();
};

class VDLPrintView {
public:
    // The design is copied; its display range covers all stitches, whatever the screen shows.
    explicit VDLPrintView(const VDLDesign& design);

    const VDLDesign& printDesign() const { return printDesign_; }

    // Left, top, right and bottom margins of the page, in points.
    static QMarginsF pageMargins() { return QMarginsF(36, 36, 36, 0); }

    // Sets the margins on the printer and takes the printable rectangle from its page layout
    // (points, relative to the paper's top left corner). One page.
    void knowsPageRange(QPrinter& printer);
    void setPageRect(const QRectF& r) { pageRect_ = r; }
    QRectF pageRect() const { return pageRect_; }

    // Draws the page into CTX, whose user space is the paper in points, Y down.
    void drawPage(VDLGraphicsContext& ctx, const VDLPrintSettings& settings);
    // Where the design went in the last drawPage (points), for the preview and tests.
    QRectF designFrame() const { return designFrame_; }

    // Prints the page on PRINTER (a real printer or PDF output). False when it cannot paint.
    bool print(QPrinter& printer, const VDLPrintSettings& settings);
    // One page per entry (the information sheet and the template of one design, say).
    bool print(QPrinter& printer, const std::vector<VDLPrintSettings>& pages);
    // The page as a PDF file on A4 (or the locale's paper), written atomically.
    bool writePDF(const QString& path, const VDLPrintSettings& settings, VDLError* error = nullptr);
    bool writePDF(const QString& path, const std::vector<VDLPrintSettings>& pages, VDLError* error = nullptr);

    // The inner design view: the design fitted into FRAME (points, Y down) with a 5-unit
    // margin, centred, on white, with the grid, hoop, centre and first/last-stitch marks the
    // settings ask for. Returns the number of points per design unit.
    static double drawDesignInFrame(VDLGraphicsContext& ctx, const VDLDesign& design, const QRectF& frame,
                                    const VDLPrintSettings& settings);

    // The line step: twice the cap height of the page font.
    static double lineStep();

private:
    VDLDesign printDesign_;
    QRectF pageRect_{36, 36, 523.28, 805.89};  // A4 with the margins until a printer says otherwise
    QRectF designFrame_;
};
