// Placeholder until this format is built: reading answers "unknown format", writing refuses.
#include "VDLDesign.h"

bool VDLDesign::importDstDesignFromURL(const VDLURL&, VDLError* error) { return VDLDesignError(error, 10, "Unknown file format (UTI)."); }
bool VDLDesign::exportDstDesignToURL(const VDLURL&, VDLError* error) { return VDLDesignError(error, 50, "Unsupported file format (UTI) for export."); }
bool VDLDesign::importDstDesignFromData(std::span<const uint8_t>, VDLError* error) { return VDLDesignError(error, 10, "Unknown file format (UTI)."); }
std::vector<uint8_t> VDLDesign::exportDstDesignToData() { return {}; }
