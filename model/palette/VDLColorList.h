#pragma once
#include "VDLColor.h"

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

// One thread chart read from a colour file: keys to colours, plus the keys in file order.
//
// Colour file: text, lines separated by LF; the first line is a header. Every other line holds
// an integer (ignored), red, green, blue (fractions, read as float), one more number (ignored)
// and the key, separated by any run of LF, CR, TAB, space and comma. Lines that do not give all
// six items are skipped; a repeated key replaces the colour but stays twice in the file order.
class VDLColorList {
public:
    VDLColorList() = default;
    // The name is not kept. An unreadable file gives an empty list.
    VDLColorList(const std::string& name, const std::string& path);
    static VDLColorList fromText(const std::string& text);

    // Keys of the map (each once), in file order of their first occurrence.
    std::vector<std::string> allKeys() const;
    // File order, repeated keys listed twice.
    const std::vector<std::string>& allSortedKeys() const { return orderedKeys_; }
    std::optional<VDLColor> colorWithKey(const std::string& key) const;
    bool isEmpty() const { return colorList_.empty(); }

    // The chart of palette P: resource P of type "clr" in the resource folder "P.clr". Charts
    // are immutable, so each is read once and shared.
    static std::shared_ptr<const VDLColorList> colorListForPalette(const std::string& palette);
    static void clearCache();

private:
    void parse(const std::string& text);
    std::unordered_map<std::string, VDLColor> colorList_;
    std::vector<std::string> orderedKeys_;
};
