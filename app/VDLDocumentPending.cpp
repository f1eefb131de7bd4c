// Document commands whose implementation has not landed yet. Each one tells the user so and
// does nothing else; the unit that implements a command removes its entry here.
#include "VDLDocument.h"

#define VDL_PENDING(name) \
    void VDLDocument::name(QObject*) { showNotAvailable(QStringLiteral(#name)); }

// Export to machine
VDL_PENDING(exportDesignDialog)

// Editing
VDL_PENDING(selectAll)
VDL_PENDING(deselectAll)
VDL_PENDING(invertSelection)
VDL_PENDING(convertSelectionToJumps)
VDL_PENDING(convertSelectionToStitches)
VDL_PENDING(copy)
VDL_PENDING(cut)
VDL_PENDING(paste)
VDL_PENDING(deleteSelected)
VDL_PENDING(moveStitches)
VDL_PENDING(resizeStitches)
VDL_PENDING(rotateFree)
VDL_PENDING(rotateL)
VDL_PENDING(rotateR)
VDL_PENDING(rotateDesign)
VDL_PENDING(flipV)
VDL_PENDING(flipH)
VDL_PENDING(flipDesign)
VDL_PENDING(center)
VDL_PENDING(insertThreadBeforeSelection)
VDL_PENDING(bastingDialog)
VDL_PENDING(selectHoopJanome)
VDL_PENDING(selectHoopPfaff)
VDL_PENDING(noPalette)
VDL_PENDING(resetPalette)
