// Placeholder until the transforms are built.
#include "VDLDesign.h"

bool VDLDesign::flipSelection(const std::string&, VDLError*) { return true; }
bool VDLDesign::rotateSelectionByDegrees(int32_t, VDLError*) { return true; }
bool VDLDesign::moveSelectionByVector(VDLPoint, VDLError*) { return true; }
bool VDLDesign::resizeSelectionByPercent(float, VDLError*) { return true; }
bool VDLDesign::centerDesign() { return true; }
