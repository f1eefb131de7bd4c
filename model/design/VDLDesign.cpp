#include "VDLDesign.h"
#include "VDLFormat.h"
#include "VDLLocalization.h"
#include "VDLPropertyList.h"
#include "VDLValueTransformer.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <unordered_set>

const char* const kVDLEmbroiderDesignStitches = "VDLEmbroiderDesignStitches";
const char* const kVDLEmbroiderDesignThreads = "VDLEmbroiderDesignThreads";
const char* const kVDLEmbroiderDesignName = "VDLEmbroiderDesignName";
const char* const kVDLEmbroiderDesignType = "VDLEmbroiderDesignType";
const char* const kVDLEmbroiderDesignLocation = "VDLEmbroiderDesignLocation";
const char* const kVDLEmbroiderDesignHoop = "VDLEmbroiderDesignHoop";
const char* const kVDLEmbroiderDesignXMin = "VDLEmbroiderDesignXMin";
const char* const kVDLEmbroiderDesignXMax = "VDLEmbroiderDesignXMax";
const char* const kVDLEmbroiderDesignYMin = "VDLEmbroiderDesignYMin";
const char* const kVDLEmbroiderDesignYMax = "VDLEmbroiderDesignYMax";
const char* const kVDLEmbroiderDesignVersion = "VDLEmbroiderDesignVersion";
const char* const kVDLEmbroiderDesignUseThreadFile = "VDLEmbroiderDesignUseThreadFile";
const char* const kVDLEmbroiderDesignSelectionActive = "VDLEmbroiderDesignSelectionActive";

void VDLDesign::resetBoundsForReading() {
    xMin_ = yMin_ = FLT_MAX;
    xMax_ = yMax_ = -FLT_MAX;
}

void VDLDesign::recomputeBounds() {
    resetBoundsForReading();
    float x = 0, y = 0;
    for (const VDLStitch& s : stitches_) {
        x += s.deltaX;
        y += s.deltaY;
        if (x < xMin_) xMin_ = x;
        if (x > xMax_) xMax_ = x;
        if (y < yMin_) yMin_ = y;
        if (y > yMax_) yMax_ = y;
    }
    if (stitches_.empty()) xMin_ = yMin_ = xMax_ = yMax_ = 0;
}

// Truncation of a float difference toward zero; out-of-range values (unset bounds) clamp
// instead of invoking undefined behaviour.
static int32_t truncatedInt(float v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0f) return INT32_MAX;
    if (v <= -2147483648.0f) return INT32_MIN;
    return int32_t(v);
}

int32_t VDLDesign::designWidth() const { return truncatedInt(xMax_ - xMin_); }
int32_t VDLDesign::designHeight() const { return truncatedInt(yMax_ - yMin_); }

VDLPoint VDLDesign::centerOfDesign() const {
    return VDLPoint{double((xMin_ + xMax_) * 0.5f), double((yMin_ + yMax_) * 0.5f)};
}

int32_t VDLDesign::numberOfJumps() const {
    int32_t n = 0;
    for (const VDLStitch& s : stitches_)
        if (s.isJumpStitch && !s.isColorChange) ++n;
    return n;
}

int32_t VDLDesign::numberOfStitches() const {
    return int32_t(int64_t(stitches_.size()) + 1 - int64_t(threads_.size()));
}

int64_t VDLDesign::numberOfDifferentColors() const {
    std::unordered_set<VDLColor, VDLColorHash> colors;
    for (const VDLThread& t : threads_) colors.insert(t.color());
    return int64_t(colors.size());
}

VDLPoint VDLDesign::firstStitch() const {
    float x = 0, y = 0;
    for (const VDLStitch& s : stitches_) {
        if (!s.isJumpStitch) break;
        x += s.deltaX;
        y += s.deltaY;
    }
    return VDLPoint{double(x), double(y)};
}

VDLPoint VDLDesign::lastStitch() const {
    float x = 0, y = 0;
    for (const VDLStitch& s : stitches_) {
        x += s.deltaX;
        y += s.deltaY;
    }
    return VDLPoint{double(x), double(y)};
}

std::string VDLDesign::designPalette() const {
    if (threads_.empty()) return {};
    for (const VDLThread& t : threads_)
        if (t.palette() != threads_.front().palette()) return {};
    return threads_.front().palette();
}

std::string VDLDesign::designPaletteName() const {
    bool same = !threads_.empty();
    for (const VDLThread& t : threads_)
        if (t.paletteName() != threads_.front().paletteName()) same = false;
    if (same) return threads_.front().paletteName();
    return VDLLocalizedString("PATTERN_PALETTE", "VDLDesign", "Threadcolors");
}

bool VDLDesign::isWritable() const {
    const std::string& t = designType_;
    if (t == "PES") return designVersion_ == 10;
    return t == "JEF" || t == "PEC" || t == "DST" || t == "EXP" || t == "PCS";
}

bool VDLDesign::isShownOfAllThreads() const {
    for (const VDLThread& t : threads_)
        if (!t.isShown()) return false;
    return true;
}

int64_t VDLDesign::indexOfShownThread() const {
    for (size_t i = 0; i < threads_.size(); ++i)
        if (threads_[i].isShown()) return int64_t(i);
    return VDLNotFound;
}

std::string VDLDesign::hoopName() const { return designHoop_ ? designHoop_->description() : std::string(); }

std::string VDLDesign::description() const {
    VDLValueTransformer mm;
    const std::string width = mm.transformedValue(double(designWidth()) / 10.0);
    const std::string height = mm.transformedValue(double(designHeight()) / 10.0);
    std::string text;
    if (designHoop_) {
        text = VDLFormat(VDLLocalizedString("DESCRIPTION_WITH_HOOP", "VDLDesign",
                                            "%@ (%@ Version %1.1f)\nsize: %@ x %@, hoop %@\n%i stitches including %i "
                                            "jumps\n%i color changes with %i different colors"),
                         designName_, designType_, designVersion_ / 10.0, width, height, hoopName(),
                         numberOfStitches(), numberOfJumps(), numberOfThreads(), numberOfDifferentColors());
    } else {
        text = VDLFormat(VDLLocalizedString("DESCRIPTION_WITHOUT_HOOP", "VDLDesign",
                                            "%@ (%@ Version %1.1f)\nsize: %@ x %@\n%i stitches including %i "
                                            "jumps\n%i color changes with %i different colors"),
                         designName_, designType_, designVersion_ / 10.0, width, height, numberOfStitches(),
                         numberOfJumps(), numberOfThreads(), numberOfDifferentColors());
    }
    for (size_t i = 0; i < threads_.size(); ++i) {
        text += VDLFormat("\n%i. %@", int64_t(i + 1), threads_[i].name());
        const std::string& p = threads_[i].palette();
        if (!p.empty() && p != "Undefined") text += VDLFormat(", %@", p);
    }
    return text;
}

void VDLDesign::encodeWithCoder(VDLCoder& coder) const {
    plist_t stitches = coder.encodeArray(kVDLEmbroiderDesignStitches);
    for (const VDLStitch& s : stitches_) {
        VDLCoder c(VDLCoder::appendDictionary(stitches));
        s.encodeWithCoder(c);
    }
    plist_t threads = coder.encodeArray(kVDLEmbroiderDesignThreads);
    for (const VDLThread& t : threads_) {
        VDLCoder c(VDLCoder::appendDictionary(threads));
        t.encodeWithCoder(c);
    }
    if (!designName_.empty()) coder.encodeString(designName_, kVDLEmbroiderDesignName);
    if (!designType_.empty()) coder.encodeString(designType_, kVDLEmbroiderDesignType);
    if (!designLocation_.isEmpty()) coder.encodeString(designLocation_.path(), kVDLEmbroiderDesignLocation);
    if (designHoop_) {
        VDLCoder h(coder.encodeDictionary(kVDLEmbroiderDesignHoop));
        designHoop_->encodeWithCoder(h);
    }
    coder.encodeFloat(xMin_, kVDLEmbroiderDesignXMin);
    coder.encodeFloat(xMax_, kVDLEmbroiderDesignXMax);
    coder.encodeFloat(yMin_, kVDLEmbroiderDesignYMin);
    coder.encodeFloat(yMax_, kVDLEmbroiderDesignYMax);
    coder.encodeInt(designVersion_, kVDLEmbroiderDesignVersion);
    coder.encodeBool(useThreadFile_, kVDLEmbroiderDesignUseThreadFile);
    coder.encodeBool(selectionActive_, kVDLEmbroiderDesignSelectionActive);
}

VDLDesign::VDLDesign(const VDLCoder& coder) {
    if (plist_t a = coder.decodeArray(kVDLEmbroiderDesignStitches)) {
        const uint32_t n = plist_array_get_size(a);
        stitches_.reserve(n);
        for (uint32_t i = 0; i < n; ++i) stitches_.emplace_back(VDLCoder(plist_array_get_item(a, i)));
    }
    if (plist_t a = coder.decodeArray(kVDLEmbroiderDesignThreads)) {
        const uint32_t n = plist_array_get_size(a);
        threads_.reserve(n);
        for (uint32_t i = 0; i < n; ++i) threads_.emplace_back(VDLCoder(plist_array_get_item(a, i)));
    }
    designName_ = coder.decodeString(kVDLEmbroiderDesignName).value_or("");
    designType_ = coder.decodeString(kVDLEmbroiderDesignType).value_or("");
    if (auto loc = coder.decodeString(kVDLEmbroiderDesignLocation)) designLocation_ = VDLURL::fileURLWithPath(*loc);
    if (plist_t h = coder.decodeDictionary(kVDLEmbroiderDesignHoop)) designHoop_ = VDLHoop(VDLCoder(h));
    xMin_ = coder.decodeFloat(kVDLEmbroiderDesignXMin);
    xMax_ = coder.decodeFloat(kVDLEmbroiderDesignXMax);
    yMin_ = coder.decodeFloat(kVDLEmbroiderDesignYMin);
    yMax_ = coder.decodeFloat(kVDLEmbroiderDesignYMax);
    designVersion_ = int32_t(coder.decodeInt(kVDLEmbroiderDesignVersion));
    useThreadFile_ = coder.decodeBool(kVDLEmbroiderDesignUseThreadFile);
    selectionActive_ = coder.decodeBool(kVDLEmbroiderDesignSelectionActive);
    displayRange_ = VDLRange{0, uint64_t(stitches_.size())};
}

std::string VDLDesign::archivedXML() const {
    VDLPlist root(plist_new_dict());
    VDLCoder coder(static_cast<plist_t>(root.get()));
    encodeWithCoder(coder);
    return VDLPlistToXML(static_cast<plist_t>(root.get()));
}

bool VDLDesign::isSoundArchive(std::string* problem) const {
    auto refuse = [&](const char* why) {
        if (problem) *problem = why;
        return false;
    };
    // The smallest moves any format we write takes in one record: ordinary stitches (PES) and
    // jumps (DST). Cutting every move to these on its own never gives fewer records than the
    // normalisation gives for any format, which also merges runs of jumps first.
    constexpr double kSmallestStitch = 62.0;
    constexpr double kSmallestJump = 120.0;
    const double far = double(kLargestArchivedPosition);
    uint64_t colorChanges = 0;
    uint64_t records = 0;
    double x = 0.0, y = 0.0;
    for (const VDLStitch& s : stitches_) {
        if (!std::isfinite(s.deltaX) || !std::isfinite(s.deltaY))
            return refuse("The design holds a stitch without a valid length.");
        x += double(s.deltaX);
        y += double(s.deltaY);
        if (std::fabs(x) > far || std::fabs(y) > far)
            return refuse("The design reaches farther than any embroidery file can hold.");
        const double longest = std::max(std::fabs(double(s.deltaX)), std::fabs(double(s.deltaY)));
        const double limit = s.isJumpStitch || s.isColorChange ? kSmallestJump : kSmallestStitch;
        records += std::max<uint64_t>(1, uint64_t(std::ceil(longest / limit))) + (s.isColorChange ? 1 : 0);
        if (records > kMostNormalisedRecords)
            return refuse("The design has too many stitches, or stitches too long, to be written to an embroidery file.");
        if (s.isColorChange) ++colorChanges;
    }
    for (float v : {xMin_, xMax_, yMin_, yMax_})
        if (!std::isfinite(v) || std::fabs(double(v)) > far)
            return refuse("The design reaches farther than any embroidery file can hold.");
    // An empty archive (no stitches, no threads) holds nothing to disagree.
    if (uint64_t(threads_.size()) != colorChanges + 1 && !(stitches_.empty() && threads_.empty()))
        return refuse("The design does not have one thread for each colour.");
    return true;
}

std::optional<VDLDesign> VDLDesign::unarchiveFromXML(const std::string& xml, std::string* problem) {
    VDLPlist root = VDLPlistFromXML(xml);
    if (!root || plist_get_node_type(static_cast<plist_t>(root.get())) != PLIST_DICT) {
        if (problem) *problem = "The design could not be read.";
        return std::nullopt;
    }
    VDLDesign design{VDLCoder(static_cast<plist_t>(root.get()))};
    if (!design.isSoundArchive(problem)) return std::nullopt;
    return design;
}
