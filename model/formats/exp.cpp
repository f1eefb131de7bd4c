// Placeholder until this format is built: reading answers "unknown format", writing refuses.
#include "VDLDesign.h"

bool VDLDesign::importExpDesignFromURL(const VDLURL&, VDLError* error) { return VDLDesignError(error, 10, "Unknown file format (UTI)."); }
bool VDLDesign::exportExpDesignToURL(const VDLURL&, VDLError* error) { return VDLDesignError(error, 50, "Unsupported file format (UTI) for export."); }
bool VDLDesign::importExpDesignFromData(std::span<const uint8_t>, VDLError* error) { return VDLDesignError(error, 10, "Unknown file format (UTI)."); }
std::vector<uint8_t> VDLDesign::exportExpDesignToData() { return {}; }
