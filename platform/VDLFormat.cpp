#include "VDLFormat.h"

#include <charconv>
#include <cmath>

std::string VDLFixed(double v, int digits) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, digits);
    return std::string(buf, res.ptr);
}

namespace {

std::string asText(const VDLFormatArg& a) {
    if (auto s = std::get_if<std::string>(&a.value)) return *s;
    if (auto i = std::get_if<int64_t>(&a.value)) return std::to_string(*i);
    if (auto d = std::get_if<double>(&a.value)) {
        char buf[64];
        auto res = std::to_chars(buf, buf + sizeof buf, *d);
        return std::string(buf, res.ptr);
    }
    return std::string(1, std::get<char>(a.value));
}

int64_t asInt(const VDLFormatArg& a) {
    if (auto i = std::get_if<int64_t>(&a.value)) return *i;
    if (auto d = std::get_if<double>(&a.value)) {
        if (std::isnan(*d)) return 0;
        if (*d >= 9.2e18) return INT64_MAX;
        if (*d <= -9.2e18) return INT64_MIN;
        return int64_t(*d);
    }
    if (auto c = std::get_if<char>(&a.value)) return *c;
    return 0;
}

double asDouble(const VDLFormatArg& a) {
    if (auto d = std::get_if<double>(&a.value)) return *d;
    if (auto i = std::get_if<int64_t>(&a.value)) return double(*i);
    if (auto c = std::get_if<char>(&a.value)) return double(*c);
    return 0.0;
}

std::string pad(std::string s, int width, bool left) {
    if (int(s.size()) >= width) return s;
    std::string fill(size_t(width) - s.size(), ' ');
    return left ? s + fill : fill + s;
}

}  // namespace

std::string VDLFormatV(const std::string& format, const std::vector<VDLFormatArg>& args) {
    std::string out;
    out.reserve(format.size() + 16 * args.size());
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c != '%') {
            out += c;
            continue;
        }
        size_t j = i + 1;
        if (j < format.size() && format[j] == '%') {
            out += '%';
            i = j;
            continue;
        }
        bool left = false;
        while (j < format.size() && (format[j] == '-' || format[j] == '+' || format[j] == ' ' || format[j] == '0')) {
            if (format[j] == '-') left = true;
            ++j;
        }
        int width = 0;
        while (j < format.size() && format[j] >= '0' && format[j] <= '9' && width < 1000) width = width * 10 + (format[j++] - '0');
        int precision = -1;
        if (j < format.size() && format[j] == '.') {
            ++j;
            precision = 0;
            while (j < format.size() && format[j] >= '0' && format[j] <= '9' && precision < 100)
                precision = precision * 10 + (format[j++] - '0');
        }
        while (j < format.size() && (format[j] == 'l' || format[j] == 'h' || format[j] == 'q' || format[j] == 'z'))
            ++j;
        if (j >= format.size()) {
            out.append(format, i, std::string::npos);
            break;
        }
        const char conv = format[j];
        if (conv != '@' && conv != 'i' && conv != 'd' && conv != 'u' && conv != 'c' && conv != 'f') {
            out.append(format, i, j - i + 1);
            i = j;
            continue;
        }
        if (next >= args.size()) {  // no argument: keep the placeholder
            out.append(format, i, j - i + 1);
            i = j;
            continue;
        }
        const VDLFormatArg& arg = args[next++];
        std::string piece;
        switch (conv) {
            case '@': piece = asText(arg); break;
            case 'i':
            case 'd':
            case 'u': piece = std::to_string(asInt(arg)); break;
            case 'c': piece = std::string(1, char(asInt(arg))); break;
            case 'f': piece = VDLFixed(asDouble(arg), precision < 0 ? 6 : precision); break;
        }
        out += pad(std::move(piece), width, left);
        i = j;
    }
    return out;
}
