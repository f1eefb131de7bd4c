// vardelle-cli edit IN OUT [--center] [--rotate DEG] [--flip V|H] [--scale F] [--move DX DY]
//                          [--basting LEN DIST]
// Applies the edits to the whole design, in the order given (an option may be repeated), and
// writes OUT in the format of its extension. Every argument is checked before IN is read; OUT
// is written only when every edit succeeded, and atomically, so a failure leaves it untouched.
#include "Commands.h"
#include "VDLDesign.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <variant>

namespace {

const char* const kUsage =
    "edit IN OUT [--center] [--rotate DEG] [--flip V|H] [--scale F] [--move DX DY] [--basting LEN DIST]";

// Limits that keep an edit within what a design and the normalisation pass can hold: a larger
// factor or move only makes a design that no machine field takes, at the cost of cutting its
// moves into millions of pieces.
constexpr double kMaxScale = 100.0;
constexpr double kMaxMoveMM = 10000.0;
constexpr double kMaxBastingMM = 1000.0;

struct Center {};
struct Rotate {
    int32_t degrees;
};
struct Flip {
    std::string orientation;
};
struct Scale {
    float factor;
};
struct Move {
    double dx, dy;  // design units (0.1 mm)
};
struct Basting {
    float length, distance;  // mm
};
using Edit = std::variant<Center, Rotate, Flip, Scale, Move, Basting>;

bool parseNumber(const std::string& text, double& out) {
    const char* b = text.data();
    const char* e = b + text.size();
    if (b != e && *b == '+') ++b;
    auto [p, ec] = std::from_chars(b, e, out, std::chars_format::general);
    return ec == std::errc() && p == e && b != e && std::isfinite(out);
}

bool parseWhole(const std::string& text, int32_t& out) {
    const char* b = text.data();
    const char* e = b + text.size();
    if (b != e && *b == '+') ++b;
    auto [p, ec] = std::from_chars(b, e, out);
    return ec == std::errc() && p == e && b != e;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "vardelle-cli: edit: %s\n", message.c_str());
    return cliUsage(kUsage);
}

// The type the dispatch writes for OUT's extension; empty when it writes none.
std::string typeForExtension(const std::string& path) {
    std::string ext = VDLURL::fileURLWithPath(path).pathExtension();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    for (const char* type : {"JEF", "PES", "PEC", "EXP", "DST", "PCS"})
        if (ext == type) return type;
    return {};
}

// Reads the edits; returns 0 and fills EDITS, or the usage error's status.
int parseEdits(const CLIArgs& args, std::vector<std::string>& positional, std::vector<Edit>& edits) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto values = [&](size_t n) { return i + n < args.size(); };
        if (a == "--center") {
            edits.emplace_back(Center{});
        } else if (a == "--rotate") {
            if (!values(1)) return usageError("--rotate needs DEG");
            int32_t degrees = 0;
            if (!parseWhole(args[++i], degrees))
                return usageError("bad --rotate '" + args[i] + "' (whole degrees, counter-clockwise)");
            edits.emplace_back(Rotate{degrees});
        } else if (a == "--flip") {
            if (!values(1)) return usageError("--flip needs V or H");
            const std::string& o = args[++i];
            if (o != "V" && o != "H") return usageError("bad --flip '" + o + "' (V or H)");
            edits.emplace_back(Flip{o});
        } else if (a == "--scale") {
            if (!values(1)) return usageError("--scale needs F");
            double f = 0;
            if (!parseNumber(args[++i], f)) return usageError("bad --scale '" + args[i] + "' (a factor, 1.5 = 150 %)");
            if (float(f) == 0.0f) return usageError("--scale 0 would shrink the design to a point");
            if (std::fabs(f) > kMaxScale) return usageError("--scale '" + args[i] + "' is out of range (at most 100)");
            edits.emplace_back(Scale{float(f)});
        } else if (a == "--move") {
            if (!values(2)) return usageError("--move needs DX DY");
            double dx = 0, dy = 0;
            if (!parseNumber(args[i + 1], dx) || !parseNumber(args[i + 2], dy) || std::fabs(dx) > kMaxMoveMM ||
                std::fabs(dy) > kMaxMoveMM)
                return usageError("bad --move '" + args[i + 1] + " " + args[i + 2] +
                                  "' (millimetres, at most 10000 either way)");
            i += 2;
            edits.emplace_back(Move{dx * 10.0, dy * 10.0});
        } else if (a == "--basting") {
            if (!values(2)) return usageError("--basting needs LEN DIST");
            double length = 0, distance = 0;
            if (!parseNumber(args[i + 1], length) || !parseNumber(args[i + 2], distance) || !(float(length) > 0) ||
                distance < 0 || length > kMaxBastingMM || distance > kMaxBastingMM)
                return usageError("bad --basting '" + args[i + 1] + " " + args[i + 2] +
                                  "' (stitch length above 0 and distance from 0, in millimetres)");
            i += 2;
            edits.emplace_back(Basting{float(length), float(distance)});
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError("unknown option '" + a + "'");
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) return cliUsage(kUsage);
    return 0;
}

}  // namespace

int cmdEdit(const CLIArgs& args) {
    std::vector<std::string> positional;
    std::vector<Edit> edits;
    if (const int status = parseEdits(args, positional, edits)) return status;
    const std::string& in = positional[0];
    const std::string& out = positional[1];

    VDLDesign design;
    if (!cliImport(in, design)) return 1;
    // The edits normalise with the design's type: give it OUT's, so OUT's move limits apply
    // from the first edit on. (An extension no writer takes is reported by the export.)
    const std::string type = typeForExtension(out);
    if (!type.empty()) design.setDesignType(type);

    for (const Edit& edit : edits) {
        design.selectAll();
        VDLError error;
        bool ok = true;
        if (std::holds_alternative<Center>(edit)) {
            ok = design.centerDesign();
        } else if (const auto* r = std::get_if<Rotate>(&edit)) {
            ok = design.rotateSelectionByDegrees(r->degrees, &error);
        } else if (const auto* f = std::get_if<Flip>(&edit)) {
            ok = design.flipSelection(f->orientation, &error);
        } else if (const auto* s = std::get_if<Scale>(&edit)) {
            ok = design.resizeSelectionByPercent(s->factor, &error);
        } else if (const auto* m = std::get_if<Move>(&edit)) {
            ok = design.moveSelectionByVector(VDLPoint{m->dx, m->dy}, &error);
        } else if (const auto* b = std::get_if<Basting>(&edit)) {
            ok = design.addBastingWithLength(b->length, b->distance, &error);
        }
        if (!ok) return cliFail(in, error);
    }
    design.deselectAll();

    // The design now lives at OUT: its thread file (if it keeps one) goes beside OUT.
    design.setDesignLocation(VDLURL::fileURLWithPath(out));
    VDLError error;
    if (!design.exportDesignToURL(VDLURL::fileURLWithPath(out), &error)) return cliFail(out, error);
    return 0;
}
