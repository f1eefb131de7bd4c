#include "VDLUndoCommand.h"

#include "VDLDesign.h"

namespace {
bool gReplaying = false;

size_t bytesOfString(const std::string& s) { return s.capacity() > 15 ? s.capacity() + 1 : 0; }
}  // namespace

bool VDLUndoCommand::replaying() { return gReplaying; }
void VDLUndoCommand::setReplaying(bool on) { gReplaying = on; }

size_t VDLUndoCommand::bytesOfDesign(const VDLDesign& d) {
    size_t n = sizeof(VDLDesign) + d.stitches().capacity() * sizeof(VDLStitch) +
               d.threads().capacity() * sizeof(VDLThread);
    for (const VDLThread& t : d.threads())
        n += bytesOfString(t.name()) + bytesOfString(t.key()) + bytesOfString(t.palette()) +
             bytesOfString(t.paletteName());
    n += bytesOfString(d.designName()) + bytesOfString(d.designType());
    return n;
}
