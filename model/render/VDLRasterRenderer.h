#pragma once
// Drawing a design straight into premultiplied ARGB32 pixels: the fast path for every image the
// product makes (the canvas's cached image, thumbnails, PEC thumbnails, `vardelle-cli render`).
//
// The picture is the one drawDesignInRect gives through a Cairo image context (the reference,
// and still the only path for PDF, SVG, printing and rotated or clipped targets): the same walk
// over the stitches, the same colours, widths, dashes and drawing order, each shape antialiased
// by the exact area it covers of each pixel. drawDesignInRect takes this path by itself when its
// context lends its pixels (VDLGraphicsContext::beginPixelAccess).
//
// Typical use from an application canvas (off the UI thread, into a QImage of
// Format_ARGB32_Premultiplied or any other buffer of that layout):
//
//     VDLImageBuffer image{bits, width, height, bytesPerLine};
//     VDLImageTransform view{zoom, -zoom, offsetX, offsetY};   // Y-up design, Y-down image
//     VDLRasterOptions options;
//     options.show3D = true;
//     VDLDrawDesignIntoImage(design, visibleRectInDesignUnits, image, view, options);
//
// The pixels are composited over what the buffer holds (fill it white first for a white
// background). The design is only read; several calls may run at once on different buffers.
#include "VDLGeometry.h"
#include "VDLGraphicsContext.h"

#include <cstdint>
#include <functional>

class VDLDesign;

struct VDLRasterOptions {
    bool show3D = false;
    bool showJumps = false;
    bool showStructure = false;  // needle points (and thin lines)
    int32_t thread = -1;         // one colour block, or -1 for all
    // Threads drawing horizontal bands of the image: 0 picks by itself (up to 2 for large
    // work), 1 draws on the calling thread only. The result is the same for any count.
    int threads = 0;
    // Asked now and then while drawing, from the drawing threads: true stops a drawing that is
    // no longer wanted (the call returns soon after, the pixels part drawn). Empty: never stops.
    std::function<bool()> cancelled;
};

// Draws DESIGN's stitches inside RECT (design units, the visible area, as for
// drawDesignInRect) into IMAGE through TRANSFORM (design units to pixels). Returns false, and
// leaves the pixels alone, when the buffer or the transform cannot be used (no data, a stride
// too small, a zero or non-finite scale); drawing outside the buffer is clipped away.
bool VDLDrawDesignIntoImage(const VDLDesign& design, VDLRect rect, const VDLImageBuffer& image,
                            const VDLImageTransform& transform, const VDLRasterOptions& options = {});

// Whether drawDesignInRect uses the pixel path for image contexts. On by default; the
// environment variable VARDELLE_RENDERER=cairo turns it off at start, and tests and tools that
// compare the two paths switch it here.
bool VDLRasterRenderingEnabled();
void VDLSetRasterRenderingEnabled(bool enabled);
