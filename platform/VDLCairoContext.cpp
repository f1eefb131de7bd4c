#include "VDLCairoContext.h"

#include "VDLPNG.h"

#include "VDLError.h"
#include "VDLFile.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

cairo_status_t appendToSink(void* closure, const unsigned char* data, unsigned int length) {
    auto* sink = static_cast<std::vector<uint8_t>*>(closure);
    try {
        sink->insert(sink->end(), data, data + length);
    } catch (...) {
        return CAIRO_STATUS_WRITE_ERROR;
    }
    return CAIRO_STATUS_SUCCESS;
}

bool cairoError(VDLError* error, cairo_status_t status) {
    VDLError e;
    e.domain = "cairo";
    e.code = int64_t(status);
    e.userInfo[VDLLocalizedDescriptionKey] = cairo_status_to_string(status);
    return VDLSetError(error, std::move(e));
}

bool isFinite(double v) { return std::isfinite(v); }

// Cairo stops drawing for good after text that is not UTF-8; bad sequences become U+FFFD.
std::string validUTF8(const std::string& in) {
    std::string out;
    out.reserve(in.size());
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    const size_t n = in.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        size_t len = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            len = 1;
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        }
        bool good = len > 0 && i + len <= n;
        for (size_t k = 1; good && k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) good = false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (good) {
            static const uint32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
            good = cp >= minimum[len] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF) && cp != 0;
        }
        if (good) {
            out.append(in, i, len);
            i += len;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

}  // namespace

VDLCairoContext::VDLCairoContext(Kind kind, cairo_surface_t* surface, int width, int height,
                                 std::shared_ptr<std::vector<uint8_t>> sink)
    : kind_(kind), surface_(surface), width_(width), height_(height), sink_(std::move(sink)) {
    cr_ = cairo_create(surface_);
}

VDLCairoContext::VDLCairoContext(cairo_t* cr) : kind_(Kind::Foreign) {
    cr_ = cairo_reference(cr);
    surface_ = cairo_surface_reference(cairo_get_target(cr_));
    if (cairo_surface_get_type(surface_) == CAIRO_SURFACE_TYPE_IMAGE) {
        width_ = cairo_image_surface_get_width(surface_);
        height_ = cairo_image_surface_get_height(surface_);
    }
}

VDLCairoContext::~VDLCairoContext() {
    if (gradient_) cairo_pattern_destroy(gradient_);
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
}

namespace {

// A large image's pixels in memory of our own, advised to use large pages: its first touch
// then costs one fault per 2 MB instead of one per 4 KB. Freed with the surface.
cairo_surface_t* largeImageSurface(int width, int height) {
    constexpr size_t kLarge = size_t(4) << 20;
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
    if (width <= 0 || height <= 0 || stride <= 0) return nullptr;
    const size_t bytes = size_t(stride) * size_t(height);
    if (bytes < kLarge || bytes > (size_t(1) << 34)) return nullptr;
    constexpr size_t kAlign = size_t(2) << 20;
    void* data = std::aligned_alloc(kAlign, (bytes + kAlign - 1) / kAlign * kAlign);
    if (!data) return nullptr;
    VDLAdviseLargeBuffer(data, bytes);
    std::memset(data, 0, bytes);  // a new image is transparent
    cairo_surface_t* s = cairo_image_surface_create_for_data(static_cast<unsigned char*>(data), CAIRO_FORMAT_ARGB32,
                                                             width, height, stride);
    static const cairo_user_data_key_t key{};
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_set_user_data(s, &key, data, std::free) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        std::free(data);
        return nullptr;
    }
    return s;
}

}  // namespace

std::unique_ptr<VDLCairoContext> VDLCairoContext::imageContext(int width, int height) {
    // cairo_image_surface_create answers an error surface for sizes it cannot make.
    cairo_surface_t* s = largeImageSurface(width, height);
    if (!s) s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    const bool good = cairo_surface_status(s) == CAIRO_STATUS_SUCCESS;
    return std::unique_ptr<VDLCairoContext>(
        new VDLCairoContext(Kind::Image, s, good ? width : 0, good ? height : 0, nullptr));
}

std::unique_ptr<VDLCairoContext> VDLCairoContext::pdfContext(double width, double height) {
    auto sink = std::make_shared<std::vector<uint8_t>>();
    cairo_surface_t* s = cairo_pdf_surface_create_for_stream(appendToSink, sink.get(), width, height);
    return std::unique_ptr<VDLCairoContext>(
        new VDLCairoContext(Kind::PDF, s, int(std::lround(width)), int(std::lround(height)), sink));
}

std::unique_ptr<VDLCairoContext> VDLCairoContext::svgContext(double width, double height) {
    auto sink = std::make_shared<std::vector<uint8_t>>();
    cairo_surface_t* s = cairo_svg_surface_create_for_stream(appendToSink, sink.get(), width, height);
    return std::unique_ptr<VDLCairoContext>(
        new VDLCairoContext(Kind::SVG, s, int(std::lround(width)), int(std::lround(height)), sink));
}

bool VDLCairoContext::ok() const {
    return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS && cairo_status(cr_) == CAIRO_STATUS_SUCCESS;
}

int VDLCairoContext::stride() const {
    if (cairo_surface_get_type(surface_) != CAIRO_SURFACE_TYPE_IMAGE) return 0;
    return cairo_image_surface_get_stride(surface_);
}

const uint8_t* VDLCairoContext::data() const {
    if (cairo_surface_get_type(surface_) != CAIRO_SURFACE_TYPE_IMAGE || !ok()) return nullptr;
    cairo_surface_flush(surface_);
    return cairo_image_surface_get_data(surface_);
}

VDLRGBA VDLCairoContext::pixel(int x, int y) const {
    const uint8_t* d = data();
    if (!d || x < 0 || y < 0 || x >= width_ || y >= height_) return VDLRGBA{0, 0, 0, 0};
    uint32_t v = *reinterpret_cast<const uint32_t*>(d + size_t(y) * size_t(stride()) + size_t(x) * 4);
    const double a = double(v >> 24) / 255.0;
    if (a == 0) return VDLRGBA{0, 0, 0, 0};
    auto comp = [&](int shift) { return double((v >> shift) & 0xff) / 255.0 / a; };
    return VDLRGBA{comp(16), comp(8), comp(0), a};
}

std::vector<uint8_t> VDLCairoContext::outputData(VDLError* error) {
    if (!ok()) {
        cairoError(error, cairo_status(cr_) != CAIRO_STATUS_SUCCESS ? cairo_status(cr_) : cairo_surface_status(surface_));
        return {};
    }
    if (kind_ == Kind::PDF || kind_ == Kind::SVG) {
        if (!finished_) {
            cairo_surface_finish(surface_);
            finished_ = true;
        }
        cairo_status_t st = cairo_surface_status(surface_);
        if (st != CAIRO_STATUS_SUCCESS) {
            cairoError(error, st);
            return {};
        }
        return *sink_;
    }
    if (cairo_surface_get_type(surface_) != CAIRO_SURFACE_TYPE_IMAGE) {
        cairoError(error, CAIRO_STATUS_SURFACE_TYPE_MISMATCH);
        return {};
    }
    cairo_surface_flush(surface_);
    if (cairo_image_surface_get_format(surface_) == CAIRO_FORMAT_ARGB32) {
        std::vector<uint8_t> fast = VDLEncodePNG(cairo_image_surface_get_data(surface_),
                                                 cairo_image_surface_get_width(surface_),
                                                 cairo_image_surface_get_height(surface_),
                                                 cairo_image_surface_get_stride(surface_));
        if (!fast.empty()) return fast;
    }
    std::vector<uint8_t> png;
    cairo_status_t st = cairo_surface_write_to_png_stream(surface_, appendToSink, &png);
    if (st != CAIRO_STATUS_SUCCESS) {
        cairoError(error, st);
        return {};
    }
    return png;
}

bool VDLCairoContext::writeToFile(const std::string& path, VDLError* error) {
    VDLError local;
    std::vector<uint8_t> bytes = outputData(&local);
    if (bytes.empty()) return VDLSetError(error, local);
    return VDLWriteFileAtomically(path, bytes, error);
}

void VDLCairoContext::showPage() {
    if (!finished_) cairo_show_page(cr_);
}

// ---- state ----------------------------------------------------------------------------------

void VDLCairoContext::saveGState() {
    cairo_save(cr_);
    saved_.push_back(state_);
}

void VDLCairoContext::restoreGState() {
    if (saved_.empty()) return;  // an unbalanced restore would put Cairo into its error state
    cairo_restore(cr_);
    state_ = saved_.back();
    saved_.pop_back();
    source_ = Source::Unknown;
}

void VDLCairoContext::setLineCap(VDLLineCap cap) {
    cairo_set_line_cap(cr_, cap == VDLLineCap::Round    ? CAIRO_LINE_CAP_ROUND
                            : cap == VDLLineCap::Square ? CAIRO_LINE_CAP_SQUARE
                                                        : CAIRO_LINE_CAP_BUTT);
}

void VDLCairoContext::setLineWidth(double width) {
    if (isFinite(width) && width >= 0) cairo_set_line_width(cr_, width);
}

void VDLCairoContext::setLineDash(double phase, const std::vector<double>& lengths) {
    // Cairo refuses (and enters its error state for) negative lengths or an all-zero pattern.
    bool valid = isFinite(phase);
    double total = 0;
    for (double l : lengths) {
        if (!isFinite(l) || l < 0) valid = false;
        total += l;
    }
    if (!valid || (!lengths.empty() && total <= 0)) {
        cairo_set_dash(cr_, nullptr, 0, 0);
        return;
    }
    cairo_set_dash(cr_, lengths.data(), int(lengths.size()), phase);
}

void VDLCairoContext::setStrokeColor(const VDLRGBA& c) {
    state_.stroke = c;
    if (source_ == Source::Stroke) source_ = Source::Unknown;
}

void VDLCairoContext::setFillColor(const VDLRGBA& c) {
    state_.fill = c;
    if (source_ == Source::Fill) source_ = Source::Unknown;
}

void VDLCairoContext::useStrokeColor() {
    if (source_ == Source::Stroke) return;
    // Cairo clamps the components to 0..1 itself.
    cairo_set_source_rgba(cr_, state_.stroke.r, state_.stroke.g, state_.stroke.b, state_.stroke.a);
    source_ = Source::Stroke;
}

void VDLCairoContext::useFillColor() {
    if (source_ == Source::Fill) return;
    cairo_set_source_rgba(cr_, state_.fill.r, state_.fill.g, state_.fill.b, state_.fill.a);
    source_ = Source::Fill;
}

bool VDLCairoContext::drawable() const { return !state_.singular && !finished_; }

// ---- paths ----------------------------------------------------------------------------------

void VDLCairoContext::beginPath() { cairo_new_path(cr_); }

void VDLCairoContext::moveTo(double x, double y) {
    if (isFinite(x) && isFinite(y)) cairo_move_to(cr_, x, y);
}

void VDLCairoContext::lineTo(double x, double y) {
    if (isFinite(x) && isFinite(y)) cairo_line_to(cr_, x, y);
}

void VDLCairoContext::addArc(double cx, double cy, double radius, double startAngle, double endAngle,
                             bool clockwise) {
    if (!isFinite(cx) || !isFinite(cy) || !isFinite(radius) || radius < 0 || !isFinite(startAngle) || !isFinite(endAngle))
        return;
    // Angles grow counter-clockwise in a Y-up space, so "clockwise" runs towards smaller angles,
    // whatever the transform does to the picture.
    if (clockwise)
        cairo_arc_negative(cr_, cx, cy, radius, startAngle, endAngle);
    else
        cairo_arc(cr_, cx, cy, radius, startAngle, endAngle);
}

void VDLCairoContext::closePath() { cairo_close_path(cr_); }

void VDLCairoContext::addRect(double x, double y, double w, double h) {
    if (isFinite(x) && isFinite(y) && isFinite(w) && isFinite(h)) cairo_rectangle(cr_, x, y, w, h);
}

void VDLCairoContext::strokePath() {
    if (!drawable()) {
        cairo_new_path(cr_);
        return;
    }
    useStrokeColor();
    cairo_stroke(cr_);
}

void VDLCairoContext::fillPath() {
    if (!drawable()) {
        cairo_new_path(cr_);
        return;
    }
    useFillColor();
    cairo_fill(cr_);
}

void VDLCairoContext::eoFillPath() {
    if (!drawable()) {
        cairo_new_path(cr_);
        return;
    }
    useFillColor();
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_fill(cr_);
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
}

void VDLCairoContext::clip() { cairo_clip(cr_); }

void VDLCairoContext::fillRect(double x, double y, double w, double h) {
    // Replaces the current path, like every other painting call.
    cairo_new_path(cr_);
    addRect(x, y, w, h);
    fillPath();
}

bool VDLCairoContext::drawPixels(const uint8_t* data, int width, int height, int stride, double x, double y,
                                 double w, double h) {
    if (!drawable() || !data || width <= 0 || height <= 0 || stride < width * 4 || !(w > 0) || !(h > 0) ||
        !isFinite(x) || !isFinite(y) || !isFinite(w) || !isFinite(h))
        return false;
    // A copy: a PDF surface keeps the picture until the document is finished.
    cairo_surface_t* picture = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(picture) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(picture);
        return false;
    }
    cairo_surface_flush(picture);
    uint8_t* into = cairo_image_surface_get_data(picture);
    const int intoStride = cairo_image_surface_get_stride(picture);
    for (int row = 0; row < height; ++row)
        std::memcpy(into + size_t(row) * size_t(intoStride), data + size_t(row) * size_t(stride), size_t(width) * 4);
    cairo_surface_mark_dirty(picture);

    cairo_save(cr_);
    cairo_new_path(cr_);
    cairo_matrix_t ctm;
    cairo_get_matrix(cr_, &ctm);
    const bool yUp = ctm.xx * ctm.yy - ctm.xy * ctm.yx < 0;
    cairo_translate(cr_, x, yUp ? y + h : y);
    cairo_scale(cr_, w / width, (yUp ? -h : h) / height);
    cairo_set_source_surface(cr_, picture, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_GOOD);
    cairo_rectangle(cr_, 0, 0, width, height);
    cairo_fill(cr_);
    cairo_restore(cr_);
    cairo_surface_destroy(picture);
    return true;
}

void VDLCairoContext::strokeRect(double x, double y, double w, double h) {
    cairo_new_path(cr_);
    addRect(x, y, w, h);
    strokePath();
}

void VDLCairoContext::drawLinearGradient(const std::vector<VDLGradientStop>& stops, double x0, double y0, double x1,
                                         double y1) {
    if (!drawable() || stops.empty()) return;
    const double dx = x1 - x0, dy = y1 - y0;
    const double len2 = dx * dx + dy * dy;
    if (!isFinite(len2) || len2 < 1e-18 || !isFinite(x0) || !isFinite(y0)) return;  // no axis: nothing to paint

    if (!gradient_ || stops != gradientStops_) {
        if (gradient_) cairo_pattern_destroy(gradient_);
        // A unit gradient along the X axis of pattern space; the matrix below places it.
        gradient_ = cairo_pattern_create_linear(0, 0, 1, 0);
        for (const auto& s : stops)
            cairo_pattern_add_color_stop_rgba(gradient_, s.location, s.color.r, s.color.g, s.color.b, s.color.a);
        cairo_pattern_set_extend(gradient_, CAIRO_EXTEND_NONE);
        gradientStops_ = stops;
    }
    // User space to pattern space: (x0, y0) -> (0, 0), (x1, y1) -> (1, 0).
    cairo_matrix_t m;
    cairo_matrix_init(&m, dx / len2, -dy / len2, dy / len2, dx / len2, -(dx * x0 + dy * y0) / len2,
                      (dy * x0 - dx * y0) / len2);
    cairo_pattern_set_matrix(gradient_, &m);
    cairo_set_source(cr_, gradient_);
    source_ = Source::Unknown;
    cairo_paint(cr_);
}

// ---- transform --------------------------------------------------------------------------------

void VDLCairoContext::translate(double tx, double ty) {
    if (isFinite(tx) && isFinite(ty)) cairo_translate(cr_, tx, ty);
}

void VDLCairoContext::scale(double sx, double sy) {
    // Cairo cannot invert a singular matrix and would stop drawing for good; a degenerate scale
    // draws nothing until the state is restored, as on the platform.
    if (!isFinite(sx) || !isFinite(sy) || sx == 0 || sy == 0) {
        state_.singular = true;
        return;
    }
    cairo_scale(cr_, sx, sy);
}

// ---- text -------------------------------------------------------------------------------------

void VDLCairoContext::selectFont(const std::string& family, double size, bool bold) {
    // The toy font API finds the family or the nearest one fontconfig knows.
    cairo_select_font_face(cr_, family.c_str(), CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    if (isFinite(size) && size > 0) cairo_set_font_size(cr_, size);
}

void VDLCairoContext::showText(double x, double y, const std::string& utf8) {
    if (!drawable() || utf8.empty() || !isFinite(x) || !isFinite(y)) return;
    const Source before = source_;
    cairo_save(cr_);
    cairo_new_path(cr_);
    cairo_translate(cr_, x, y);
    // Text stands upright whichever way user space points: in a Y-up space (a transform that
    // mirrors the device's Y-down axes) the glyphs are mirrored back.
    cairo_matrix_t ctm;
    cairo_get_matrix(cr_, &ctm);
    if (ctm.xx * ctm.yy - ctm.xy * ctm.yx < 0) cairo_scale(cr_, 1, -1);
    cairo_move_to(cr_, 0, 0);
    cairo_set_source_rgba(cr_, state_.fill.r, state_.fill.g, state_.fill.b, state_.fill.a);
    cairo_show_text(cr_, validUTF8(utf8).c_str());
    cairo_restore(cr_);
    source_ = before;
}

double VDLCairoContext::textWidth(const std::string& utf8) {
    if (utf8.empty()) return 0;
    cairo_text_extents_t ext;
    cairo_text_extents(cr_, validUTF8(utf8).c_str(), &ext);
    return ext.x_advance;
}

// ---- direct pixel access ----------------------------------------------------------------------

bool VDLCairoContext::beginPixelAccess(VDLPixelTarget& target) {
    if (!ok() || !drawable()) return false;
    if (cairo_surface_get_type(surface_) != CAIRO_SURFACE_TYPE_IMAGE ||
        cairo_image_surface_get_format(surface_) != CAIRO_FORMAT_ARGB32)
        return false;
    // Drawing into a group (push_group) goes to another surface.
    if (cairo_get_group_target(cr_) != surface_) return false;
    if (cairo_get_operator(cr_) != CAIRO_OPERATOR_OVER || cairo_get_antialias(cr_) != CAIRO_ANTIALIAS_DEFAULT)
        return false;
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    if (m.xy != 0 || m.yx != 0 || !isFinite(m.xx) || !isFinite(m.yy) || m.xx == 0 || m.yy == 0 || !isFinite(m.x0) ||
        !isFinite(m.y0))
        return false;
    double dx = 0, dy = 0;
    cairo_surface_get_device_offset(surface_, &dx, &dy);
    if (dx != 0 || dy != 0) return false;
    const int w = cairo_image_surface_get_width(surface_);
    const int h = cairo_image_surface_get_height(surface_);
    // Only an unclipped context: the clip, in device space, must hold the whole surface.
    cairo_rectangle_list_t* clips = cairo_copy_clip_rectangle_list(cr_);
    bool whole = clips->status == CAIRO_STATUS_SUCCESS && clips->num_rectangles == 1;
    if (whole) {
        const cairo_rectangle_t r = clips->rectangles[0];
        double x0 = r.x, y0 = r.y, x1 = r.x + r.width, y1 = r.y + r.height;
        cairo_user_to_device(cr_, &x0, &y0);
        cairo_user_to_device(cr_, &x1, &y1);
        // Cairo hands the clip back in user space: allow for the rounding of the way there and
        // back.
        constexpr double e = 1e-6;
        whole = std::min(x0, x1) <= e && std::min(y0, y1) <= e && std::max(x0, x1) >= w - e &&
                std::max(y0, y1) >= h - e;
    }
    cairo_rectangle_list_destroy(clips);
    if (!whole) return false;

    cairo_surface_flush(surface_);
    target.image = VDLImageBuffer{cairo_image_surface_get_data(surface_), w, h, cairo_image_surface_get_stride(surface_)};
    target.transform = VDLImageTransform{m.xx, m.yy, m.x0, m.y0};
    return target.image.data != nullptr;
}

void VDLCairoContext::endPixelAccess() { cairo_surface_mark_dirty(surface_); }
