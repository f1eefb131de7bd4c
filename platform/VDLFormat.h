#pragma once
#include <cstdint>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

// One argument of a message template: text (%@), an integer (%i %d), a number (%f forms) or a
// character (%c).
struct VDLFormatArg {
    std::variant<std::string, int64_t, double, char> value;

    VDLFormatArg(std::string s) : value(std::move(s)) {}
    VDLFormatArg(const char* s) : value(std::string(s ? s : "(null)")) {}
    VDLFormatArg(char c) : value(c) {}
    VDLFormatArg(bool b) : value(int64_t(b ? 1 : 0)) {}
    template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                               !std::is_same_v<T, char>, int> = 0>
    VDLFormatArg(T v) : value(int64_t(v)) {}
    VDLFormatArg(double d) : value(d) {}
    VDLFormatArg(float f) : value(double(f)) {}
};

// Fills a message template the way the platform's string formatting does: %@ text, %i and %d
// integers, %c a character, %f with optional width and precision (%1.0f, %1.1f, %1.2f) in the
// C locale, %% a percent sign. Arguments are taken in order; a placeholder without an argument
// is left as it stands, a mismatched one is converted as well as it can be.
std::string VDLFormatV(const std::string& format, const std::vector<VDLFormatArg>& args);

template <typename... A>
std::string VDLFormat(const std::string& format, A&&... args) {
    return VDLFormatV(format, std::vector<VDLFormatArg>{VDLFormatArg(std::forward<A>(args))...});
}

// A number with a fixed count of fraction digits, in the C locale (no grouping).
std::string VDLFixed(double v, int digits);
