// Placeholder until this format is built: reading answers "unknown format", writing refuses.
#include "VDLDesign.h"

const std::map<int32_t, std::string>& VDLDesign::janomeColorCodes() { static const std::map<int32_t, std::string> t; return t; }
const std::map<int32_t, std::string>& VDLDesign::brotherColorCodes() { static const std::map<int32_t, std::string> t; return t; }
const std::map<int32_t, std::string>& VDLDesign::brotherReadColorCodes() { static const std::map<int32_t, std::string> t; return t; }
void VDLDesign::appendThreadForColorIndex(int32_t, const std::string& chart) { threads_.emplace_back(std::string(), chart); }
int32_t VDLDesign::colorIndexForThread(int32_t, const std::string&) { return 0; }
