#include "VDLThread.h"
#include "VDLColorList.h"
#include "VDLFormat.h"
#include "VDLLocalization.h"
#include "VDLPropertyList.h"

#include <cmath>

VDLThread::VDLThread(const VDLColor& color, const std::string& name, const std::string& key,
                     const std::string& palette, const std::string& paletteName)
    : color_(color), palette_(palette), paletteName_(paletteName), key_(key), name_(name) {}

std::string VDLThread::individualColorName(const VDLColor& c) {
    return VDLFormat(VDLLocalizedString("COLOR_INDIVIDUAL", "VDLDesign", "Individual color (%1.0f, %1.0f, %1.0f)"),
                     c.red() * 255.0, c.green() * 255.0, c.blue() * 255.0);
}

VDLThread::VDLThread(const std::string& key, const std::string& palette) : VDLThread() {
    VDLColor color;
    std::string name = individualColorName(color);
    std::string paletteName;
    auto chart = VDLColorList::colorListForPalette(palette);
    if (auto c = chart->colorWithKey(key)) {
        color = *c;
        name = VDLLocalizedString(key, palette, "Unknown color");
        paletteName = VDLLocalizedString(palette, palette, "Threadcolors");
    }
    *this = VDLThread(color, name, key, palette, paletteName);
}

bool VDLThread::changeToColor(const VDLColor& target, const std::string& palette) {
    if (palette.empty()) {
        color_ = target;
        palette_.clear();
        paletteName_ = VDLLocalizedString("PATTERN_PALETTE", "VDLDesign", "Threadcolors");
        key_.clear();
        name_ = individualColorName(target);
        return true;
    }
    auto chart = VDLColorList::colorListForPalette(palette);
    double bestDistance = 32767.0;
    VDLColor bestColor;
    std::string bestKey;
    std::string bestName;
    const bool otherChart = palette != palette_;
    for (const std::string& k : chart->allKeys()) {
        const VDLColor c = *chart->colorWithKey(k);
        double distance;
        if (otherChart && !k.empty() && k[0] == 'x') {
            distance = 32767.0;  // "x" entries are only chosen while staying in the same chart
        } else {
            const double dR = (target.red() - c.red()) * 255.0;
            const double dG = (target.green() - c.green()) * 255.0;
            const double dB = (target.blue() - c.blue()) * 255.0;
            const double meanRed = (target.red() + c.red()) * 255.0 / 2.0;
            distance = std::sqrt((2.0 + meanRed / 256.0) * dR * dR + 4.0 * dG * dG +
                                 (2.0 + (255.0 - meanRed) / 256.0) * dB * dB);
        }
        if (distance < bestDistance) {
            bestDistance = distance;
            bestColor = c;
            bestKey = k;
            bestName = VDLLocalizedString(k, palette, "Unknown color");
        }
        if (distance == 0.0) break;
    }
    color_ = bestColor;
    palette_ = palette;
    paletteName_ = VDLLocalizedString(palette, palette, "Threadcolors");
    key_ = bestKey;
    name_ = bestName;
    return true;
}

std::string VDLThread::description() const {
    return VDLFormat("Embroidery Thread: color=%@ of palette %@, name=%@, key=%@, length=%1.1f, tension=%i",
                     color_.description(), paletteName_, name_, key_, length_, tension_);
}

void VDLThread::encodeWithCoder(VDLCoder& coder) const {
    VDLCoder colorCoder(coder.encodeDictionary("VDLThreadColor"));
    color_.encodeWithCoder(colorCoder);
    coder.encodeString(name_, "VDLThreadName");
    coder.encodeString(key_, "VDLThreadKey");
    coder.encodeString(palette_, "VDLThreadPalette");
    coder.encodeString(paletteName_, "VDLThreadPaletteName");
    coder.encodeFloat(length_, "VDLThreadLength");
    coder.encodeInt(tension_, "VDLThreadTension");
    coder.encodeBool(isShown_, "VDLThreadIsShown");
}

VDLThread::VDLThread(const VDLCoder& coder) {
    if (plist_t c = coder.decodeDictionary("VDLThreadColor")) color_ = VDLColor(VDLCoder(c));
    name_ = coder.decodeString("VDLThreadName").value_or("");
    key_ = coder.decodeString("VDLThreadKey").value_or("");
    palette_ = coder.decodeString("VDLThreadPalette").value_or("");
    paletteName_ = coder.decodeString("VDLThreadPaletteName").value_or("");
    length_ = coder.decodeFloat("VDLThreadLength");
    tension_ = int32_t(coder.decodeInt("VDLThreadTension"));
    isShown_ = coder.decodeBool("VDLThreadIsShown");
}
