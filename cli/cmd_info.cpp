// vardelle-cli info FILE [--json]: the design's summary text, or its numbers as one JSON object.
#include "Commands.h"
#include "VDLDesign.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace {

const char* kUsage = "info FILE [--json]";

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
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
                    out += char(c);  // UTF-8 passes through as it is
                }
        }
    }
    return out + "\"";
}

// JSON has no infinity or NaN: an unset bound is written as null.
std::string jsonNumber(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

std::string jsonBool(bool v) { return v ? "true" : "false"; }

}  // namespace

int cmdInfo(const CLIArgs& args) {
    std::string file;
    bool json = false;
    for (const auto& a : args) {
        if (a == "--json") json = true;
        else if (!a.empty() && a[0] == '-' && a != "-") return cliUsage(kUsage);
        else if (file.empty()) file = a;
        else return cliUsage(kUsage);
    }
    if (file.empty()) return cliUsage(kUsage);

    VDLDesign design;
    if (!cliImport(file, design)) return 1;

    if (!json) {
        std::printf("%s\n", design.description().c_str());
        return 0;
    }

    std::string out = "{";
    auto field = [&](const char* key, const std::string& value) {
        if (out.size() > 1) out += ", ";
        out += jsonString(key) + ": " + value;
    };
    field("file", jsonString(file));
    field("name", jsonString(design.designName()));
    field("type", jsonString(design.designType()));
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
    field("hoop", design.designHoop() ? jsonString(design.hoopName()) : "null");
    field("palette", jsonString(design.designPalette()));
    field("paletteName", jsonString(design.designPaletteName()));
    field("useThreadFile", jsonBool(design.useThreadFile()));
    std::string list = "[";
    for (const VDLThread& t : design.threads()) {
        if (list.size() > 1) list += ", ";
        list += "{\"key\": " + jsonString(t.key()) + ", \"palette\": " + jsonString(t.palette()) +
                ", \"name\": " + jsonString(t.name()) + ", \"red\": " + std::to_string(cliColorByte(t.color().red())) +
                ", \"green\": " + std::to_string(cliColorByte(t.color().green())) +
                ", \"blue\": " + std::to_string(cliColorByte(t.color().blue())) + "}";
    }
    field("threadList", list + "]");
    std::printf("%s}\n", out.c_str());
    return 0;
}
