#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Formats lengths given in millimetres in the user's unit, and parses typed lengths back to
// millimetres. Numbers use the grouping and decimal symbols of the user's locale (ICU) and
// round half to even.
//
// Units: 1 = decimal inches, 2 = whole inches and 32nds, anything else = millimetres. The unit
// is asked for on every call: from the provider the application installs, else from
// "MeasurementUnit" in the preferences file (0 when missing).
class VDLValueTransformer {
public:
    VDLValueTransformer();                                   // the user's locale
    explicit VDLValueTransformer(const std::string& locale);  // an ICU locale name ("de_DE")

    static bool allowsReverseTransformation() { return true; }

    std::string transformedValue(double millimetres) const;
    double reverseTransformedValue(const std::string& text) const;

    // Formatting in a given unit, whatever the setting.
    std::string transformedValue(double millimetres, int64_t unit) const;
    double reverseTransformedValue(const std::string& text, int64_t unit) const;

    static int64_t measurementUnit();
    // The application's hook; an empty function removes it.
    static void setMeasurementUnitProvider(std::function<int64_t()> provider);

private:
    std::string format(double value, const char* pattern) const;
    // Reads a number at the start of TEXT (leading spaces skipped); false when there is none.
    bool parseLeadingNumber(const std::string& text, double& out) const;
    std::string locale_;
};
