#include "model/batch/VDLDesignInfo.h"

#include "VDLDesign.h"

#include <cmath>
#include <cstdio>

namespace {

// JSON has no infinity or NaN: an unset bound is written as null.
std::string jsonNumber(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

std::string csvNumber(double v) { return std::isfinite(v) ? jsonNumber(v) : std::string(); }

int colorByte(double component) {
    if (!(component > 0)) return 0;
    if (component >= 1) return 255;
    return int(std::lround(component * 255.0));
}

std::string csvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string hexColor(const VDLThread& t) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", colorByte(t.color().red()), colorByte(t.color().green()),
                  colorByte(t.color().blue()));
    return buf;
}

}  // namespace

namespace {

// The length of the well-formed UTF-8 sequence starting at S[I], 0 when there is none.
size_t utf8Length(const std::string& s, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    size_t n = c < 0x80 ? 1 : (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3 : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    if (n == 3 && ((c == 0xE0 && byte(i + 1) < 0xA0) || (c == 0xED && byte(i + 1) >= 0xA0))) return 0;
    if (n == 4 && ((c == 0xF0 && byte(i + 1) < 0x90) || (c == 0xF4 && byte(i + 1) >= 0x90))) return 0;
    return n;
}

}  // namespace

std::string VDLJSONString(const std::string& s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) {
            // JSON is UTF-8: a byte that is not part of a character (a file name in another
            // encoding) becomes U+FFFD.
            const size_t n = utf8Length(s, i);
            if (n == 0) {
                out += "\\ufffd";
            } else {
                out.append(s, i, n);
                i += n - 1;
            }
            continue;
        }
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += char(c);
                }
        }
    }
    return out + "\"";
}

std::string VDLDesignInfoJSON(const VDLDesign& design, const std::string& file) {
    std::string out = "{";
    auto field = [&](const char* key, const std::string& value) {
        if (out.size() > 1) out += ", ";
        out += VDLJSONString(key) + ": " + value;
    };
    field("file", VDLJSONString(file));
    field("name", VDLJSONString(design.designName()));
    field("type", VDLJSONString(design.designType()));
    field("version", std::to_string(design.designVersion()));
    field("width", std::to_string(design.designWidth()));
    field("height", std::to_string(design.designHeight()));
    field("xMin", jsonNumber(design.xMin()));
    field("xMax", jsonNumber(design.xMax()));
    field("yMin", jsonNumber(design.yMin()));
    field("yMax", jsonNumber(design.yMax()));
    field("records", std::to_string(design.stitches().size()));
    field("stitches", std::to_string(design.numberOfStitches()));
    field("jumps", std::to_string(design.numberOfJumps()));
    field("threads", std::to_string(design.numberOfThreads()));
    field("differentColors", std::to_string(design.numberOfDifferentColors()));
    field("hoop", design.designHoop() ? VDLJSONString(design.hoopName()) : "null");
    field("palette", VDLJSONString(design.designPalette()));
    field("paletteName", VDLJSONString(design.designPaletteName()));
    field("useThreadFile", design.useThreadFile() ? "true" : "false");
    std::string list = "[";
    for (const VDLThread& t : design.threads()) {
        if (list.size() > 1) list += ", ";
        list += "{\"key\": " + VDLJSONString(t.key()) + ", \"palette\": " + VDLJSONString(t.palette()) +
                ", \"name\": " + VDLJSONString(t.name()) + ", \"red\": " + std::to_string(colorByte(t.color().red())) +
                ", \"green\": " + std::to_string(colorByte(t.color().green())) +
                ", \"blue\": " + std::to_string(colorByte(t.color().blue())) + "}";
    }
    field("threadList", list + "]");
    return out + "}";
}

std::string VDLDesignInfoCSVHeader() {
    return "file,name,type,version,width,height,xMin,xMax,yMin,yMax,records,stitches,jumps,threads,"
           "differentColors,hoop,palette,paletteName,useThreadFile,threadList";
}

std::string VDLDesignInfoCSV(const VDLDesign& design, const std::string& file) {
    // The threads in one field: "key name #rrggbb" each, separated by "; ".
    std::string threads;
    for (const VDLThread& t : design.threads()) {
        if (!threads.empty()) threads += "; ";
        if (!t.key().empty()) threads += t.key() + " ";
        if (!t.name().empty()) threads += t.name() + " ";
        threads += hexColor(t);
    }
    const std::string fields[] = {file,
                                  design.designName(),
                                  design.designType(),
                                  std::to_string(design.designVersion()),
                                  std::to_string(design.designWidth()),
                                  std::to_string(design.designHeight()),
                                  csvNumber(design.xMin()),
                                  csvNumber(design.xMax()),
                                  csvNumber(design.yMin()),
                                  csvNumber(design.yMax()),
                                  std::to_string(design.stitches().size()),
                                  std::to_string(design.numberOfStitches()),
                                  std::to_string(design.numberOfJumps()),
                                  std::to_string(design.numberOfThreads()),
                                  std::to_string(design.numberOfDifferentColors()),
                                  design.designHoop() ? design.hoopName() : std::string(),
                                  design.designPalette(),
                                  design.designPaletteName(),
                                  design.useThreadFile() ? "true" : "false",
                                  threads};
    std::string row;
    for (const std::string& f : fields) {
        if (!row.empty() || &f != &fields[0]) row += ',';
        row += csvField(f);
    }
    return row;
}
