#include "VDLPaletteChangeCommand.h"

#include "VDLDocument.h"

VDLPaletteChangeCommand::VDLPaletteChangeCommand(VDLDocument* document, std::string palette, bool useThreadFile,
                                                 const char* undoKey, const char* englishDefault)
    : VDLDocumentCommand(document, undoKey, englishDefault), palette_(std::move(palette)),
      useThreadFile_(useThreadFile) {}

void VDLPaletteChangeCommand::applyChange(bool) {
    VDLDesign& design = document()->myDesign();
    oldThreads_ = design.threads();
    oldUseThreadFile_ = design.useThreadFile();
    for (int32_t i = 0; i < int32_t(design.numberOfThreads()); ++i)
        design.changeThread(i, design.colorOfThread(i), palette_);
    design.setUseThreadFile(useThreadFile_);
}

void VDLPaletteChangeCommand::revertChange() {
    VDLDesign& design = document()->myDesign();
    design.setThreads(oldThreads_);
    design.setUseThreadFile(oldUseThreadFile_);
}
