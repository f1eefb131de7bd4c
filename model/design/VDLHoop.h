#pragma once
#include <cstdint>
#include <string>

class VDLCoder;

// A machine hoop: inner size in whole millimetres (the diameter for a round hoop).
class VDLHoop {
public:
    VDLHoop() = default;
    VDLHoop(const std::string& name, const std::string& vendor, int32_t code, int32_t width, int32_t height,
            bool multiHoop, bool roundHoop, bool isWritable)
        : name_(name), vendor_(vendor), code_(code), width_(width), height_(height),
          isRounded_(roundHoop), isMultiHoop_(multiHoop), isWritable_(isWritable) {}
    explicit VDLHoop(const VDLCoder& coder);

    const std::string& name() const { return name_; }
    const std::string& vendor() const { return vendor_; }
    int32_t code() const { return code_; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    bool isRounded() const { return isRounded_; }
    bool isMultiHoop() const { return isMultiHoop_; }
    bool isWritable() const { return isWritable_; }

    // Vendor, name, width and height; code and flags are not compared.
    bool isEqual(const VDLHoop& o) const {
        return vendor_ == o.vendor_ && name_ == o.name_ && width_ == o.width_ && height_ == o.height_;
    }
    bool operator==(const VDLHoop& o) const { return isEqual(o); }

    std::string sizeString() const;
    std::string description() const;
    void encodeWithCoder(VDLCoder& coder) const;

private:
    std::string name_;
    std::string vendor_;
    int32_t code_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    bool isRounded_ = false;
    bool isMultiHoop_ = false;
    bool isWritable_ = false;
};
