#pragma once
// Recolours every thread of the design into one palette (nearest colour of the palette for
// each thread) and sets whether the design keeps its colours in the thread side file. Undo
// puts the threads and the flag back as they were; the stitches are not copied.
#include "VDLDocumentCommand.h"
#include "VDLThread.h"

#include <string>
#include <vector>

class VDLPaletteChangeCommand : public VDLDocumentCommand {
public:
    VDLPaletteChangeCommand(VDLDocument* document, std::string palette, bool useThreadFile,
                            const char* undoKey = "UNDO_PALETTECHANGE", const char* englishDefault = "palette change");

    const std::string& palette() const { return palette_; }

protected:
    void applyChange(bool firstTime) override;
    void revertChange() override;

private:
    std::string palette_;
    bool useThreadFile_;
    std::vector<VDLThread> oldThreads_;
    bool oldUseThreadFile_ = false;
};
