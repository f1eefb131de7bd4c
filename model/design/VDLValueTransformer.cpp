#include "VDLValueTransformer.h"
#include "VDLUserDefaults.h"

#include <unicode/decimfmt.h>
#include <unicode/dcfmtsym.h>
#include <unicode/locid.h>
#include <unicode/numfmt.h>
#include <unicode/parsepos.h>
#include <unicode/unistr.h>

#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

std::mutex gProviderMutex;
std::function<int64_t()> gProvider;

icu::Locale localeFor(const std::string& name) {
    return name.empty() ? icu::Locale::getDefault() : icu::Locale(name.c_str());
}

// Formatters are expensive to build: one per (locale, pattern) and thread.
icu::DecimalFormat* formatterFor(const std::string& locale, const char* pattern) {
    thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<icu::DecimalFormat>> cache;
    auto key = std::make_pair(locale.empty() ? std::string(icu::Locale::getDefault().getName()) : locale,
                              std::string(pattern ? pattern : ""));
    auto it = cache.find(key);
    if (it != cache.end()) return it->second.get();
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::DecimalFormat> fmt;
    if (pattern) {
        auto* symbols = new icu::DecimalFormatSymbols(localeFor(locale), status);
        fmt = std::make_unique<icu::DecimalFormat>(icu::UnicodeString::fromUTF8(pattern), symbols, status);
    } else {
        std::unique_ptr<icu::NumberFormat> nf(icu::NumberFormat::createInstance(localeFor(locale), status));
        if (U_SUCCESS(status)) fmt.reset(dynamic_cast<icu::DecimalFormat*>(nf.release()));
    }
    if (U_FAILURE(status) || !fmt) return nullptr;
    fmt->setRoundingMode(icu::DecimalFormat::kRoundHalfEven);
    return cache.emplace(key, std::move(fmt)).first->second.get();
}

bool contains(const std::string& s, const char* what) { return s.find(what) != std::string::npos; }

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::vector<std::string> words(const std::string& s) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ') ++i;
        size_t j = i;
        while (j < s.size() && s[j] != ' ') ++j;
        if (j > i) out.push_back(s.substr(i, j - i));
        i = j;
    }
    return out;
}

// Leading integer like a string's intValue: optional spaces and sign, digits; 0 otherwise.
int64_t leadingInt(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
    int64_t v = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && v < 1000000000000LL) v = v * 10 + (s[i++] - '0');
    return neg ? -v : v;
}

}  // namespace

VDLValueTransformer::VDLValueTransformer() = default;
VDLValueTransformer::VDLValueTransformer(const std::string& locale) : locale_(locale) {}

int64_t VDLValueTransformer::measurementUnit() {
    {
        std::lock_guard<std::mutex> lock(gProviderMutex);
        if (gProvider) return gProvider();
    }
    return VDLPreferenceInteger("MeasurementUnit").value_or(0);
}

void VDLValueTransformer::setMeasurementUnitProvider(std::function<int64_t()> provider) {
    std::lock_guard<std::mutex> lock(gProviderMutex);
    gProvider = std::move(provider);
}

std::string VDLValueTransformer::format(double value, const char* pattern) const {
    icu::DecimalFormat* fmt = formatterFor(locale_, pattern);
    if (!fmt) return std::to_string(value);
    icu::UnicodeString out;
    fmt->format(value, out);
    std::string utf8;
    out.toUTF8String(utf8);
    return utf8;
}

std::string VDLValueTransformer::transformedValue(double millimetres) const {
    return transformedValue(millimetres, measurementUnit());
}

std::string VDLValueTransformer::transformedValue(double millimetres, int64_t unit) const {
    const float v = float(millimetres);
    if (unit == 1) return format(double(v) / 25.4, "#,##0.00") + "\"";
    if (unit == 2) {
        // The quotient is taken from the unnarrowed length: narrowing first would turn
        // 38.1 mm into 1.4999999 inches and show 1 15/32 instead of 1 1/2.
        const float i = float(millimetres / 25.4);
        // Whole inches, truncated toward zero; values beyond int range cannot be shown as
        // fractions, fall back to the decimal form.
        if (!std::isfinite(i) || std::fabs(i) > 2.0e9f) return format(double(v) / 25.4, "#,##0.00") + "\"";
        const int32_t w = int32_t(i);
        const float f = i - float(w);
        std::string out;
        if (w != 0 || f == 0.0f) out += std::to_string(w);
        int32_t n = int32_t(std::fabs(f * 32.0f));
        if (n > 0) {
            if (w != 0) out += ' ';
            else if (f < 0.0f) out += '-';
            int32_t d = 32;
            while (n % 2 == 0) {
                n /= 2;
                d /= 2;
            }
            out += std::to_string(n) + "/" + std::to_string(d);
        }
        if (out.empty()) out = "0";
        return out + "\"";
    }
    return format(double(v), "#,##0.0") + " mm";
}

bool VDLValueTransformer::parseLeadingNumber(const std::string& text, double& out) const {
    size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
    if (start >= text.size()) return false;
    icu::DecimalFormat* fmt = formatterFor(locale_, nullptr);
    if (!fmt) return false;
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(text.substr(start));
    icu::Formattable result;
    icu::ParsePosition pos(0);
    fmt->parse(u, result, pos);
    if (pos.getIndex() == 0) return false;
    UErrorCode status = U_ZERO_ERROR;
    double d = result.getDouble(status);
    if (U_FAILURE(status) || !std::isfinite(d)) return false;
    out = d;
    return true;
}

double VDLValueTransformer::reverseTransformedValue(const std::string& text) const {
    return reverseTransformedValue(text, measurementUnit());
}

double VDLValueTransformer::reverseTransformedValue(const std::string& text, int64_t unit) const {
    if (text.empty()) return 0.0;
    double value = 0.0;
    const auto slash = text.find('/');
    if (slash == std::string::npos) {
        if (!parseLeadingNumber(text, value)) value = 0.0;
    } else {
        const std::string first = text.substr(0, slash);
        std::string second = text.substr(slash + 1);
        second = second.substr(0, second.find('/'));
        double denominator = 1.0;
        if (!second.empty()) {
            // The number at the start of the piece ("2\"" reads 2). A piece without a number,
            // or a zero, would divide by nothing: such a fraction counts over 1.
            if (!parseLeadingNumber(second, denominator) || denominator == 0.0) denominator = 1.0;
        }
        const auto w = words(trim(first));
        int64_t whole = 0;
        std::string numeratorText;
        if (w.size() >= 2) {
            whole = leadingInt(w[0]);
            numeratorText = w[1];
        } else if (w.size() == 1) {
            numeratorText = w[0];
        }
        double numerator = 0.0;
        if (!numeratorText.empty() && !parseLeadingNumber(numeratorText, numerator)) numerator = 0.0;
        const double sign = whole < 0 ? -1.0 : 1.0;
        value = sign * (numerator / denominator + double(whole < 0 ? -whole : whole));
    }
    if (contains(text, "mm")) return value;
    if (contains(text, "in") || contains(text, "\"")) return value * 25.4;
    return (unit == 1 || unit == 2) ? value * 25.4 : value;
}
