// Placeholder until this format is built: reading answers "unknown format", writing refuses.
#include "VDLDesign.h"

bool VDLDesign::importPesDesignFromURL(const VDLURL&, VDLError* error) { return VDLDesignError(error, 10, "Unknown file format (UTI)."); }
bool VDLDesign::exportPesDesignToURL(const VDLURL&, VDLError* error) { return VDLDesignError(error, 50, "Unsupported file format (UTI) for export."); }
bool VDLDesign::importPesDesignFromData(std::span<const uint8_t>, VDLError* error) { return VDLDesignError(error, 10, "Unknown file format (UTI)."); }
