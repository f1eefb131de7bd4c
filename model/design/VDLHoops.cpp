#include "VDLDesign.h"

std::vector<VDLHoop> VDLDesign::hoops() {
    // Catalogue order matters: findHoopFromVendor picks the first writable hoop that fits.
    return {
        VDLHoop("C/FA/M3", "Janome", 1, 50, 50, false, false, true),
        VDLHoop("A", "Janome", 0, 110, 110, false, false, true),
        VDLHoop("A(F)/ST/M2", "Janome", 3, 126, 110, false, false, true),
        VDLHoop("B/RE", "Janome", 2, 140, 200, false, false, true),
        VDLHoop("RE20a", "Janome", 32, 170, 200, false, false, true),
        VDLHoop("SQ", "Janome", 4, 200, 200, false, false, true),
        VDLHoop("SQ23", "Janome", 28, 230, 230, false, false, true),
        VDLHoop("MA", "Janome", 5, 200, 280, true, false, false),
        VDLHoop("M1", "Janome", 6, 240, 200, false, false, true),
        VDLHoop("GR", "Janome", 29, 230, 300, false, false, true),
        VDLHoop("T1", "Janome", 8, 34, 34, false, true, false),
        VDLHoop("T2", "Janome", 9, 54, 54, false, true, false),
        VDLHoop("T3", "Janome", 10, 84, 84, false, true, false),
        VDLHoop("T4", "Janome", 11, 112, 112, false, true, false),
        VDLHoop("T5", "Janome", 12, 142, 142, false, true, false),
        VDLHoop("T6", "Janome", 13, 78, 168, false, false, true),
        VDLHoop("FA10/~a", "Janome", 30, 100, 40, false, false, true),
        VDLHoop("H1", "Janome", 14, 100, 90, false, false, true),
        VDLHoop("200/SQ14/~a", "Janome", 15, 140, 140, false, false, true),
        VDLHoop("S1", "Janome", 16, 37, 59, false, false, true),
        VDLHoop("S2", "Janome", 17, 28, 50, false, false, true),
        VDLHoop("J1", "Janome", 18, 30, 30, false, true, false),
        VDLHoop("J2", "Janome", 19, 24, 54, false, false, true),
        VDLHoop("J3", "Janome", 20, 64, 28, false, false, true),
        VDLHoop("J4", "Janome", 21, 42, 67, false, false, true),
        VDLHoop("J5", "Janome", 22, 46, 46, false, false, true),
        VDLHoop("J6", "Janome", 23, 66, 66, false, false, true),
        VDLHoop("J7", "Janome", 24, 110, 95, false, false, true),
        VDLHoop("J8", "Janome", 25, 120, 121, false, false, true),
        VDLHoop("AQ", "Janome", 26, 120, 180, false, false, true),
        VDLHoop("ASQ", "Janome", 27, 180, 180, false, false, true),
        VDLHoop("ASQ22", "Janome", 31, 220, 220, false, false, true),
        VDLHoop("S", "Pfaff", 2, 80, 80, false, false, true),
        VDLHoop("L", "Pfaff", 3, 120, 115, false, false, true),
    };
}

std::optional<std::vector<VDLHoop>> VDLDesign::allHoopsFromVendor(const std::string& vendor) {
    std::vector<VDLHoop> result;
    for (const VDLHoop& h : hoops())
        if (h.vendor() == vendor) result.push_back(h);
    if (result.empty()) return std::nullopt;
    return result;
}

bool VDLDesign::setHoopFromVendor(const std::string& vendor, int32_t code) {
    if (code == -1) designHoop_.reset();
    for (const VDLHoop& h : hoops()) {
        if (h.vendor() == vendor && h.code() == code) {
            designHoop_ = h;
            return true;
        }
    }
    return false;
}

std::optional<VDLHoop> VDLDesign::findHoopFromVendor(const std::string& vendor) const {
    for (const VDLHoop& h : hoops())
        if (h.vendor() == vendor && h.isWritable() && designFitsInHoop(h)) return h;
    return std::nullopt;
}

bool VDLDesign::designFitsInHoop(const VDLHoop& hoop) const {
    return int64_t(designWidth()) <= int64_t(hoop.width()) * 10 && int64_t(designHeight()) <= int64_t(hoop.height()) * 10;
}

bool VDLDesign::stitchesOutsideOfHoop(const VDLHoop& hoop) const {
    const float hw = float((hoop.width() / 2) * 10);
    const float hh = float((hoop.height() / 2) * 10);
    const bool inside = xMax_ < hw && -xMin_ < hw && yMax_ < hh && -yMin_ < hh;
    return !inside;
}
