#pragma once
// The 2D drawing interface the renderer, the PEC thumbnails and the preview plug-in draw into.
// Shaped like the platform's 2D calls; the real implementation is Cairo (VDLCairoContext),
// tests use a recording implementation, the application may add one over QPainter.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct VDLRGBA {
    double r = 0, g = 0, b = 0, a = 1;
    bool operator==(const VDLRGBA&) const = default;
};

struct VDLGradientStop {
    double location = 0;
    VDLRGBA color;
    bool operator==(const VDLGradientStop&) const = default;
};

enum class VDLLineCap { Butt, Round, Square };

// Pixels of premultiplied ARGB (native-endian 32-bit words, alpha in the top byte, as Cairo's
// ARGB32 and QImage::Format_ARGB32_Premultiplied), rows of STRIDE bytes, top row first.
struct VDLImageBuffer {
    uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes from one row to the next, at least 4 x width
};

// User space to pixels without rotation or skew: x' = sx x + tx, y' = sy y + ty. A Y-up design
// drawn into a Y-down image has a negative sy.
struct VDLImageTransform {
    double sx = 1, sy = 1, tx = 0, ty = 0;
};

// An image context's pixels with its current transform, lent to code that draws into them
// directly (see beginPixelAccess).
struct VDLPixelTarget {
    VDLImageBuffer image;
    VDLImageTransform transform;
    // Set by a context whose drawing can be stopped: asked now and then while drawing into the
    // pixels, true stops it.
    std::function<bool()> cancelled;
};

class VDLGraphicsContext {
public:
    virtual ~VDLGraphicsContext() = default;

    virtual void saveGState() = 0;
    virtual void restoreGState() = 0;

    virtual void setLineCap(VDLLineCap cap) = 0;
    virtual void setLineWidth(double width) = 0;
    // An empty pattern draws solid lines.
    virtual void setLineDash(double phase, const std::vector<double>& lengths) = 0;
    virtual void setStrokeColor(const VDLRGBA& c) = 0;
    virtual void setFillColor(const VDLRGBA& c) = 0;

    virtual void beginPath() = 0;
    virtual void moveTo(double x, double y) = 0;
    virtual void lineTo(double x, double y) = 0;
    // Arc about (cx, cy) from startAngle to endAngle (radians); clockwise as in a Y-up space.
    virtual void addArc(double cx, double cy, double radius, double startAngle, double endAngle, bool clockwise) = 0;
    virtual void closePath() = 0;
    virtual void addRect(double x, double y, double w, double h) = 0;

    virtual void strokePath() = 0;
    virtual void fillPath() = 0;
    virtual void eoFillPath() = 0;
    virtual void clip() = 0;  // intersects the clip with the current path, which is consumed
    virtual void fillRect(double x, double y, double w, double h) = 0;
    virtual void strokeRect(double x, double y, double w, double h) = 0;
    // Linear gradient from start to end, no extension beyond either end, inside the clip.
    virtual void drawLinearGradient(const std::vector<VDLGradientStop>& stops, double x0, double y0, double x1,
                                    double y1) = 0;

    virtual void translate(double tx, double ty) = 0;
    virtual void scale(double sx, double sy) = 0;
    // Makes user space Y-up over a Y-down surface HEIGHT units tall (image, PDF and SVG
    // surfaces): translate by (0, height), then scale by (1, -1). Designs are drawn Y-up.
    void flipVertically(double height) {
        translate(0, height);
        scale(1, -1);
    }

    // Text, for preview pages: a font by family name (the implementation falls back to a
    // similar font), size in user units; the baseline starts at (x, y).
    virtual void selectFont(const std::string& family, double size, bool bold) = 0;
    virtual void showText(double x, double y, const std::string& utf8) = 0;
    virtual double textWidth(const std::string& utf8) = 0;

    // Direct pixel access for image targets: true (and TARGET filled) only when the context
    // draws into premultiplied ARGB32 pixels under a transform of scale and translation, with
    // no clip, no group and the ordinary "over" compositing, so that drawing into the pixels
    // gives what the context would draw. The caller then calls endPixelAccess() when done.
    // Vector surfaces, recordings and anything rotated or clipped answer false.
    virtual bool beginPixelAccess(VDLPixelTarget& target) {
        (void)target;
        return false;
    }
    virtual void endPixelAccess() {}

    // Draws a picture of WIDTH x HEIGHT premultiplied ARGB32 pixels (rows of STRIDE bytes, the
    // first row at the top) scaled into the rectangle X, Y, W, H of user space, upright whichever
    // way Y points. False when the context cannot draw pictures (the caller draws otherwise).
    virtual bool drawPixels(const uint8_t* data, int width, int height, int stride, double x, double y, double w,
                            double h) {
        (void)data, (void)width, (void)height, (void)stride, (void)x, (void)y, (void)w, (void)h;
        return false;
    }
};
