#pragma once
// The graphics context over Cairo: image surfaces (thumbnails, PEC bitmaps, the canvas), PNG
// bytes, and PDF and SVG documents built in memory. Output is handed back as bytes, so files
// are always replaced atomically (VDLWriteFileAtomically) and a failed write keeps the old file.
#include "VDLGraphicsContext.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo_pattern cairo_pattern_t;
struct VDLError;

class VDLCairoContext final : public VDLGraphicsContext {
public:
    enum class Kind { Image, PDF, SVG, Foreign };

    // W x H pixels of premultiplied ARGB (cairo's ARGB32), cleared to transparent. Sizes that
    // Cairo cannot allocate give a context whose ok() is false; drawing into it does nothing.
    static std::unique_ptr<VDLCairoContext> imageContext(int width, int height);
    // One-page PDF or an SVG document of W x H points, written into memory.
    static std::unique_ptr<VDLCairoContext> pdfContext(double width, double height);
    static std::unique_ptr<VDLCairoContext> svgContext(double width, double height);
    // The context for an existing cairo_t (referenced, not owned beyond that reference).
    explicit VDLCairoContext(cairo_t* cr);

    ~VDLCairoContext() override;
    VDLCairoContext(const VDLCairoContext&) = delete;
    VDLCairoContext& operator=(const VDLCairoContext&) = delete;

    Kind kind() const { return kind_; }
    bool ok() const;
    cairo_t* cairo() const { return cr_; }
    cairo_surface_t* surface() const { return surface_; }

    // Image contexts: size and the raw premultiplied ARGB32 pixels (native-endian 32-bit words,
    // rows of stride() bytes). data() flushes pending drawing first; nullptr when not an image.
    int width() const { return width_; }
    int height() const { return height_; }
    int stride() const;
    const uint8_t* data() const;
    // One pixel, un-premultiplied, components in 0..1; transparent black outside the image.
    VDLRGBA pixel(int x, int y) const;

    // The finished output: PNG bytes for an image context; the PDF or SVG document for the
    // vector kinds (the surface is finished by the first call; later drawing is ignored).
    // Empty on failure, with the error filled in.
    std::vector<uint8_t> outputData(VDLError* error = nullptr);
    // outputData() written atomically to PATH.
    bool writeToFile(const std::string& path, VDLError* error = nullptr);

    // Starts a new page (PDF).
    void showPage();

    // VDLGraphicsContext
    void saveGState() override;
    void restoreGState() override;
    void setLineCap(VDLLineCap cap) override;
    void setLineWidth(double width) override;
    void setLineDash(double phase, const std::vector<double>& lengths) override;
    void setStrokeColor(const VDLRGBA& c) override;
    void setFillColor(const VDLRGBA& c) override;
    void beginPath() override;
    void moveTo(double x, double y) override;
    void lineTo(double x, double y) override;
    void addArc(double cx, double cy, double radius, double startAngle, double endAngle, bool clockwise) override;
    void closePath() override;
    void addRect(double x, double y, double w, double h) override;
    void strokePath() override;
    void fillPath() override;
    void eoFillPath() override;
    void clip() override;
    void fillRect(double x, double y, double w, double h) override;
    void strokeRect(double x, double y, double w, double h) override;
    void drawLinearGradient(const std::vector<VDLGradientStop>& stops, double x0, double y0, double x1,
                            double y1) override;
    void translate(double tx, double ty) override;
    void scale(double sx, double sy) override;
    void selectFont(const std::string& family, double size, bool bold) override;
    void showText(double x, double y, const std::string& utf8) override;
    double textWidth(const std::string& utf8) override;
    bool beginPixelAccess(VDLPixelTarget& target) override;
    void endPixelAccess() override;
    bool drawPixels(const uint8_t* data, int width, int height, int stride, double x, double y, double w,
                    double h) override;

private:
    VDLCairoContext(Kind kind, cairo_surface_t* surface, int width, int height,
                    std::shared_ptr<std::vector<uint8_t>> sink);
    void useStrokeColor();
    void useFillColor();
    bool drawable() const;

    // The state Cairo does not keep for us: it has one source, the interface two colours.
    struct State {
        VDLRGBA stroke{0, 0, 0, 1};
        VDLRGBA fill{0, 0, 0, 1};
        bool singular = false;  // a zero or non-finite scale: nothing can be seen
    };
    enum class Source { Unknown, Stroke, Fill };

    Kind kind_;
    cairo_surface_t* surface_ = nullptr;
    cairo_t* cr_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    std::shared_ptr<std::vector<uint8_t>> sink_;  // where PDF/SVG surfaces write
    bool finished_ = false;

    State state_;
    std::vector<State> saved_;
    Source source_ = Source::Unknown;  // which colour is cairo's source now

    // The last gradient's pattern, kept while the stops stay the same: the renderer draws one
    // gradient per segment but derives only one per colour block.
    std::vector<VDLGradientStop> gradientStops_;
    cairo_pattern_t* gradient_ = nullptr;
};
