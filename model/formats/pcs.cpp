// Placeholder until this format is built: reading answers "unknown format", writing refuses.
#include "VDLDesign.h"

bool VDLDesign::importPcxDesignFromURL(const VDLURL&, VDLError* error) { return VDLDesignError(error, 10, "Unknown file format (UTI)."); }
bool VDLDesign::exportPcsDesignToURL(const VDLURL&, VDLError* error) { return VDLDesignError(error, 50, "Unsupported file format (UTI) for export."); }
bool VDLDesign::importPcxDesignFromData(std::span<const uint8_t>, VDLError* error) { return VDLDesignError(error, 10, "Unknown file format (UTI)."); }
