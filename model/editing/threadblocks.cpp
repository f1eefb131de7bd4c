// Placeholder until the thread-block operations are built.
#include "VDLDesign.h"

bool VDLDesign::deleteThreadAtIndex(int32_t, VDLError*) { return true; }
bool VDLDesign::insertThreadBeforeSelection(VDLError*) { return true; }
bool VDLDesign::moveThreadFromIndex(int32_t, int32_t, VDLError*) { return true; }
bool VDLDesign::appendDesign(const VDLDesign&, VDLError*) { return true; }
void VDLDesign::changeThread(int32_t, const VDLColor&, const std::string&) {}
