// Brother and Janome files store a thread block's colour as an index into the maker's
// thread chart. These tables translate between those indices and the keys of the "Brother"
// and "Janome" palettes, and the two procedures below turn an index into a thread (readers)
// and a thread into an index (writers).
#include "VDLDesign.h"

namespace {

const std::map<int32_t, std::string> kJanome = {
        {0, "x9"}, {1, "002"}, {2, "001"}, {3, "204"}, {4, "203"}, {5, "219"}, {6, "226"}, {7, "217"},
        {8, "208"}, {9, "201"}, {10, "225"}, {11, "214"}, {12, "207"}, {13, "003"}, {14, "205"}, {15, "209"},
        {16, "210"}, {17, "211"}, {18, "212"}, {19, "213"}, {20, "215"}, {21, "216"}, {22, "218"}, {23, "220"},
        {24, "221"}, {25, "227"}, {26, "228"}, {27, "229"}, {28, "230"}, {29, "231"}, {30, "232"}, {31, "233"},
        {32, "234"}, {33, "235"}, {34, "236"}, {35, "237"}, {36, "238"}, {37, "239"}, {38, "240"}, {39, "241"},
        {40, "242"}, {41, "243"}, {42, "244"}, {43, "245"}, {44, "246"}, {45, "247"}, {46, "248"}, {47, "249"},
        {48, "250"}, {49, "251"}, {50, "252"}, {51, "253"}, {52, "254"}, {53, "255"}, {54, "256"}, {55, "257"},
        {56, "258"}, {57, "259"}, {58, "260"}, {59, "261"}, {60, "262"}, {61, "263"}, {62, "264"}, {63, "265"},
        {64, "266"}, {65, "267"}, {66, "268"}, {67, "269"}, {68, "270"}, {69, "271"}, {70, "272"}, {71, "273"},
        {72, "274"}, {73, "275"}, {74, "202"}, {75, "206"}, {76, "222"}, {77, "223"}, {78, "224"},
};

const std::map<int32_t, std::string> kBrother = {
        {1, "007"}, {2, "405"}, {3, "534"}, {4, "070"}, {5, "800"}, {6, "337"}, {7, "620"}, {8, "810"},
        {9, "612"}, {10, "502"}, {11, "214"}, {12, "208"}, {13, "205"}, {14, "513"}, {15, "328"}, {16, "005"},
        {17, "330"}, {18, "010"}, {19, "704"}, {20, "900"}, {21, "406"}, {22, "869"}, {23, "707"}, {24, "058"},
        {25, "086"}, {26, "323"}, {27, "079"}, {28, "030"}, {29, "001"}, {30, "613"}, {31, "542"}, {32, "019"},
        {33, "126"}, {34, "812"}, {35, "348"}, {36, "339"}, {37, "509"}, {38, "415"}, {39, "817"}, {40, "399"},
        {41, "517"}, {42, "307"}, {43, "085"}, {44, "808"}, {45, "804"}, {46, "607"}, {47, "843"}, {48, "807"},
        {49, "333"}, {50, "519"}, {51, "107"}, {52, "209"}, {53, "017"}, {54, "507"}, {55, "614"}, {56, "515"},
        {57, "124"}, {58, "206"}, {59, "420"}, {60, "202"}, {61, "027"}, {62, "x9"}, {63, "x8"}, {64, "x7"},
};

// Indices some files use for threads of the same chart, read but never written.
const std::map<int32_t, std::string> kBrotherRead = [] {
    std::map<int32_t, std::string> t = {
        {66, "007"}, {67, "405"}, {69, "515"}, {71, "513"}, {75, "058"}, {79, "019"}, {92, "086"},
    };
    t.insert(kBrother.begin(), kBrother.end());
    return t;
}();

struct Chart {
    const std::map<int32_t, std::string>& readTable;
    const std::map<int32_t, std::string>& writeTable;
    const char* readerFallbackCode;
    int32_t writerFallbackIndex;
};

const Chart* chartNamed(const std::string& chart) {
    static const Chart janome{kJanome, kJanome, "220", 23};
    static const Chart brother{kBrotherRead, kBrother, "005", 16};
    if (chart == "Janome") return &janome;
    if (chart == "Brother") return &brother;
    return nullptr;
}

}  // namespace

const std::map<int32_t, std::string>& VDLDesign::janomeColorCodes() { return kJanome; }
const std::map<int32_t, std::string>& VDLDesign::brotherColorCodes() { return kBrother; }
const std::map<int32_t, std::string>& VDLDesign::brotherReadColorCodes() { return kBrotherRead; }

void VDLDesign::appendThreadForColorIndex(int32_t index, const std::string& chart) {
    const Chart* c = chartNamed(chart);
    std::string code;
    if (c) {
        auto it = c->readTable.find(index);
        if (it != c->readTable.end()) code = it->second;
    }
    VDLThread thread(code, chart);
    // A missing code, or one the palette lacks, reads as the chart's fallback thread.
    if (thread.paletteName().empty() && c) thread = VDLThread(c->readerFallbackCode, chart);
    threads_.push_back(std::move(thread));
}

int32_t VDLDesign::colorIndexForThread(int32_t t, const std::string& chart) {
    const Chart* c = chartNamed(chart);
    if (t < 0 || size_t(t) >= threads_.size() || !c) return c ? c->writerFallbackIndex : 0;
    VDLThread copy = threads_[size_t(t)];
    if (copy.palette() != chart) copy.changeToColor(copy.color(), chart);
    if (!useThreadFile_) threads_[size_t(t)] = copy;
    for (const auto& [index, code] : c->writeTable)
        if (code == copy.key()) return index;
    return c->writerFallbackIndex;
}
