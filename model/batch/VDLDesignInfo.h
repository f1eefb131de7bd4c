#pragma once
// A design's numbers as text for scripts: one JSON object, or one CSV row (RFC 4180 quoting)
// under VDLDesignInfoCSVHeader(). Sizes and bounds in 0.1 mm.
#include <string>

class VDLDesign;

std::string VDLDesignInfoJSON(const VDLDesign& design, const std::string& file);
std::string VDLDesignInfoCSVHeader();
std::string VDLDesignInfoCSV(const VDLDesign& design, const std::string& file);
// TEXT as a JSON string, quotes included.
std::string VDLJSONString(const std::string& text);
