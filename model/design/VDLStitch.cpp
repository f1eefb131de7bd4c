#include "VDLStitch.h"
#include "VDLFormat.h"
#include "VDLPropertyList.h"

std::string VDLStitch::description() const {
    return VDLFormat("Embroidery Stitch (deltaX=%1.2f, deltaY=%1.2f, Jump-Stitch=%i, Color-Change=%i), selected=%i",
                     deltaX, deltaY, isJumpStitch, isColorChange, isSelected);
}

void VDLStitch::encodeWithCoder(VDLCoder& coder) const {
    coder.encodeFloat(deltaX, "VDLEmbroideryStitchDeltaX");
    coder.encodeFloat(deltaY, "VDLEmbroideryStitchDeltaY");
    coder.encodeBool(isJumpStitch, "VDLEmbroideryStitchIsJumpStitch");
    coder.encodeBool(isColorChange, "VDLEmbroideryStitchIsColorChange");
    coder.encodeBool(isSelected, "VDLEmbroideryStitchIsSelected");
}

VDLStitch::VDLStitch(const VDLCoder& coder)
    : deltaX(coder.decodeFloat("VDLEmbroideryStitchDeltaX")),
      deltaY(coder.decodeFloat("VDLEmbroideryStitchDeltaY")),
      isJumpStitch(coder.decodeBool("VDLEmbroideryStitchIsJumpStitch")),
      isColorChange(coder.decodeBool("VDLEmbroideryStitchIsColorChange")),
      isSelected(coder.decodeBool("VDLEmbroideryStitchIsSelected")) {}
