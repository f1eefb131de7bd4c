// Placeholder until selection is built.
#include "VDLDesign.h"

void VDLDesign::selectAll() {}
void VDLDesign::deselectAll() {}
void VDLDesign::invertAll() {}
void VDLDesign::selectInRect(VDLRect, bool) {}
int32_t VDLDesign::indexOfStitchAt(VDLPoint, float) const { return -1; }
bool VDLDesign::isSelectedAt(VDLPoint, float) const { return false; }
void VDLDesign::selectStitchAt(VDLPoint, float, bool) {}
void VDLDesign::selectBlockAt(VDLPoint, float, bool) {}
int32_t VDLDesign::indexOfThreadAt(VDLPoint, float) const { return -1; }
VDLRect VDLDesign::selectionRect() const { return {}; }
