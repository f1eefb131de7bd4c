// Document commands whose implementation has not landed yet. Each one tells the user so and
// does nothing else; the unit that implements a command removes its entry here.
#include "VDLDocument.h"

#define VDL_PENDING(name) \
    void VDLDocument::name(QObject*) { showNotAvailable(QStringLiteral(#name)); }

// Printing
VDL_PENDING(printDocument)
VDL_PENDING(exportPDF)
