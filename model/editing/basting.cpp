// Placeholder until basting is built.
#include "VDLDesign.h"

bool VDLDesign::addBastingWithLength(float, float, VDLError*) { return true; }
