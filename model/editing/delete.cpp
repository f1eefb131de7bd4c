// Placeholder until deleting is built.
#include "VDLDesign.h"

bool VDLDesign::deleteSelection(VDLError*) { return true; }
