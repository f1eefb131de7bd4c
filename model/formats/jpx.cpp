// Placeholder until this format is built: reading answers "unknown format", writing refuses.
#include "VDLDesign.h"

bool VDLDesign::importJpxDesignFromURL(const VDLURL&, VDLError* error) { return VDLDesignError(error, 10, "Unknown file format (UTI)."); }
bool VDLDesign::importJpxDesignFromData(std::span<const uint8_t>, VDLError* error) { return VDLDesignError(error, 10, "Unknown file format (UTI)."); }
