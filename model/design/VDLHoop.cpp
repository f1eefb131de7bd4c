#include "VDLHoop.h"
#include "VDLFormat.h"
#include "VDLPropertyList.h"
#include "VDLValueTransformer.h"

std::string VDLHoop::sizeString() const {
    VDLValueTransformer t;
    if (isRounded_) return VDLFormat("⌀ %@", t.transformedValue(double(width_)));
    return VDLFormat("%@ x %@", t.transformedValue(double(width_)), t.transformedValue(double(height_)));
}

std::string VDLHoop::description() const {
    if (name_.empty() || vendor_.empty()) return sizeString();
    return VDLFormat("%@ %@ (%@)", vendor_, name_, sizeString());
}

void VDLHoop::encodeWithCoder(VDLCoder& coder) const {
    coder.encodeString(name_, "VDLEmbroideryHoopName");
    coder.encodeString(vendor_, "VDLEmbroideryHoopVendor");
    coder.encodeInt(code_, "VDLEmbroideryHoopCode");
    coder.encodeInt(width_, "VDLEmbroideryHoopWidth");
    coder.encodeInt(height_, "VDLEmbroideryHoopHeight");
    coder.encodeBool(isMultiHoop_, "VDLEmbroideryHoopIsMultiHoop");
    coder.encodeBool(isRounded_, "VDLEmbroideryHoopIsRounded");
    coder.encodeBool(isWritable_, "VDLEmbroideryHoopIsWritable");
}

VDLHoop::VDLHoop(const VDLCoder& coder)
    : name_(coder.decodeString("VDLEmbroideryHoopName").value_or("")),
      vendor_(coder.decodeString("VDLEmbroideryHoopVendor").value_or("")),
      code_(int32_t(coder.decodeInt("VDLEmbroideryHoopCode"))),
      width_(int32_t(coder.decodeInt("VDLEmbroideryHoopWidth"))),
      height_(int32_t(coder.decodeInt("VDLEmbroideryHoopHeight"))),
      isRounded_(coder.decodeBool("VDLEmbroideryHoopIsRounded")),
      isMultiHoop_(coder.decodeBool("VDLEmbroideryHoopIsMultiHoop")),
      isWritable_(coder.decodeBool("VDLEmbroideryHoopIsWritable")) {}
