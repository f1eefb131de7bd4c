// Placeholder until this format is built: reading answers "unknown format", writing refuses.
#include "VDLDesign.h"

bool VDLDesign::importThreadsForDesign(const VDLURL&) { return false; }
bool VDLDesign::exportThreadsForDesign(const VDLURL&) { return true; }
bool VDLDesign::deleteThreadsFromDesign(const VDLURL&) { return true; }
