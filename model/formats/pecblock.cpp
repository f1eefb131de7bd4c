// Placeholder until this format is built: reading answers "unknown format", writing refuses.
#include "VDLDesign.h"

bool VDLDesign::importPecSegmentFromData(std::span<const uint8_t>, VDLError* error) { return VDLDesignError(error, 10, "Unknown file format (UTI)."); }
int32_t VDLDesign::importPecStichesFromData(std::span<const uint8_t>, int64_t, VDLError* error) { VDLDesignError(error, 10, "Unknown file format (UTI)."); return 0; }
std::vector<uint8_t> VDLDesign::exportPecSegmentToData() { return {}; }
std::vector<uint8_t> VDLDesign::exportPecBitmapToDataForThread(int32_t) { return {}; }
