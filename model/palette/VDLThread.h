#pragma once
#include "VDLColor.h"

#include <cstdint>
#include <string>

class VDLCoder;

// One colour block of a design: the thread that sews every record from one colour change to
// the next. Either an entry of a thread chart (palette + key) or an individual colour
// (palette and key empty).
class VDLThread {
public:
    // Designated initialiser: length 0, tension 13, shown.
    VDLThread(const VDLColor& color, const std::string& name, const std::string& key, const std::string& palette,
              const std::string& paletteName);
    // The thread of chart entry KEY of PALETTE; a grey individual colour (keeping key and
    // palette, empty paletteName) when the chart lacks the key.
    VDLThread(const std::string& key, const std::string& palette);
    static VDLThread initWithKey(const std::string& key, const std::string& palette) { return VDLThread(key, palette); }
    explicit VDLThread(const VDLCoder& coder);
    VDLThread() : VDLThread(VDLColor(), std::string(), std::string(), std::string(), std::string()) {}

    // Recolours in place to the chart entry of PALETTE nearest to TARGET, or to the individual
    // colour TARGET when PALETTE is empty. Always YES.
    bool changeToColor(const VDLColor& target, const std::string& palette);
    void addLength(float v) { length_ += v; }

    const VDLColor& color() const { return color_; }
    void setColor(const VDLColor& c) { color_ = c; }
    const std::string& palette() const { return palette_; }
    void setPalette(const std::string& p) { palette_ = p; }
    const std::string& paletteName() const { return paletteName_; }
    void setPaletteName(const std::string& p) { paletteName_ = p; }
    const std::string& key() const { return key_; }
    void setKey(const std::string& k) { key_ = k; }
    const std::string& name() const { return name_; }
    void setName(const std::string& n) { name_ = n; }
    float length() const { return length_; }
    void setLength(float l) { length_ = l; }
    int32_t tension() const { return tension_; }
    void setTension(int32_t t) { tension_ = t; }
    bool isShown() const { return isShown_; }
    void setIsShown(bool s) { isShown_ = s; }

    std::string description() const;
    void encodeWithCoder(VDLCoder& coder) const;

    // "Individual color (R, G, B)" for a colour, localized.
    static std::string individualColorName(const VDLColor& c);

private:
    VDLColor color_;
    std::string palette_;
    std::string paletteName_;
    std::string key_;
    std::string name_;
    float length_ = 0;
    int32_t tension_ = 13;
    bool isShown_ = true;
};
