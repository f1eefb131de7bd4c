#include "VDLColor.h"
#include "VDLFormat.h"
#include "VDLPropertyList.h"

#include <cmath>

uint64_t VDLColor::hash() const {
    const double h = blue_ * 255.0 + green_ * 255.0 * 1000.0 + red_ * 255.0 * 1000000.0;
    // Truncation to unsigned; values outside the range (unclamped components) saturate
    // rather than invoke undefined behaviour.
    if (!(h > 0.0)) return 0;
    if (h >= 18446744073709551615.0) return UINT64_MAX;
    return uint64_t(h);
}

std::string VDLColor::description() const {
    return VDLFormat("RGB color (%1.0f / %1.0f / %1.0f)", red_ * 255.0, green_ * 255.0, blue_ * 255.0);
}

void VDLColor::encodeWithCoder(VDLCoder& coder) const {
    coder.encodeFloat(float(red_), "VDLColorRed");
    coder.encodeFloat(float(green_), "VDLColorGreen");
    coder.encodeFloat(float(blue_), "VDLColorBlue");
}

VDLColor::VDLColor(const VDLCoder& coder)
    : red_(double(coder.decodeFloat("VDLColorRed"))),
      green_(double(coder.decodeFloat("VDLColorGreen"))),
      blue_(double(coder.decodeFloat("VDLColorBlue"))) {}
