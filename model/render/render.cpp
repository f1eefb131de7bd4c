// Placeholder until the renderer is built.
#include "VDLDesign.h"

void VDLDesign::drawDesignInRect(VDLRect, VDLGraphicsContext&, bool, bool, bool, int32_t) const {}
