#pragma once
// Byte-level helpers shared by the format readers and writers: a bounds-checked reader over a
// byte span (little and big endian) and an appending writer. A read past the end never touches
// memory outside the span: it fails (returns false / leaves ok() false) instead.
#include "VDLFile.h"

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

class VDLByteReader {
public:
    explicit VDLByteReader(std::span<const uint8_t> data, size_t pos = 0) : data_(data), pos_(pos) {}

    size_t size() const { return data_.size(); }
    size_t position() const { return pos_; }
    size_t remaining() const { return pos_ <= data_.size() ? data_.size() - pos_ : 0; }
    bool ok() const { return ok_; }
    bool atEnd() const { return pos_ >= data_.size(); }
    // Moves to an absolute offset; false (and not ok) when it lies beyond the end or is negative.
    bool seek(int64_t offset) {
        if (offset < 0 || uint64_t(offset) > data_.size()) return fail();
        pos_ = size_t(offset);
        return true;
    }
    bool skip(int64_t n) {
        if (n < 0 || uint64_t(n) > remaining()) return fail();
        pos_ += size_t(n);
        return true;
    }
    bool has(size_t n) const { return n <= remaining(); }

    bool u8(uint8_t& v) {
        if (!has(1)) return fail();
        v = data_[pos_++];
        return true;
    }
    bool i8(int8_t& v) {
        uint8_t u;
        if (!u8(u)) return false;
        v = int8_t(u);
        return true;
    }
    bool u16le(uint16_t& v) { return readLE(v); }
    bool u32le(uint32_t& v) { return readLE(v); }
    bool u16be(uint16_t& v) { return readBE(v); }
    bool u32be(uint32_t& v) { return readBE(v); }
    bool i16le(int16_t& v) { return readSigned<uint16_t>(v, true); }
    bool i32le(int32_t& v) { return readSigned<uint32_t>(v, true); }
    bool i16be(int16_t& v) { return readSigned<uint16_t>(v, false); }
    bool i32be(int32_t& v) { return readSigned<uint32_t>(v, false); }
    bool bytes(size_t n, std::span<const uint8_t>& out) {
        if (!has(n)) return fail();
        out = data_.subspan(pos_, n);
        pos_ += n;
        return true;
    }
    // N bytes as ISO Latin-1 text converted to UTF-8.
    bool latin1(size_t n, std::string& out);

    // Unchecked-position peeks for callers that checked has() first.
    uint8_t at(size_t offset) const { return offset < data_.size() ? data_[offset] : 0; }

private:
    bool fail() {
        ok_ = false;
        return false;
    }
    template <typename T>
    bool readLE(T& v) {
        if (!has(sizeof(T))) return fail();
        v = 0;
        for (size_t i = 0; i < sizeof(T); ++i) v = T(v | (T(data_[pos_ + i]) << (8 * i)));
        pos_ += sizeof(T);
        return true;
    }
    template <typename T>
    bool readBE(T& v) {
        if (!has(sizeof(T))) return fail();
        v = 0;
        for (size_t i = 0; i < sizeof(T); ++i) v = T((v << 8) | T(data_[pos_ + i]));
        pos_ += sizeof(T);
        return true;
    }
    template <typename U, typename S>
    bool readSigned(S& v, bool little) {
        U u;
        if (!(little ? readLE(u) : readBE(u))) return false;
        std::memcpy(&v, &u, sizeof v);
        return true;
    }

    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    bool ok_ = true;
};

class VDLByteWriter {
public:
    std::vector<uint8_t>& data() { return data_; }
    std::vector<uint8_t> take() { return std::move(data_); }
    size_t size() const { return data_.size(); }
    void reserve(size_t n) {
        data_.reserve(n);
        VDLAdviseLargeBuffer(data_.data(), data_.capacity());
    }

    void u8(uint8_t v) { data_.push_back(v); }
    void u16le(uint16_t v) { writeLE(v); }
    void u32le(uint32_t v) { writeLE(v); }
    void u16be(uint16_t v) { writeBE(v); }
    void u32be(uint32_t v) { writeBE(v); }
    void i16le(int16_t v) { writeLE(uint16_t(v)); }
    void i32le(int32_t v) { writeLE(uint32_t(v)); }
    void i16be(int16_t v) { writeBE(uint16_t(v)); }
    void i32be(int32_t v) { writeBE(uint32_t(v)); }
    void bytes(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        data_.insert(data_.end(), b, b + n);
    }
    void bytes(std::span<const uint8_t> s) { data_.insert(data_.end(), s.begin(), s.end()); }
    void ascii(const std::string& s) { bytes(s.data(), s.size()); }
    // UTF-8 text written as ISO Latin-1 (characters outside Latin-1 become '?').
    void latin1(const std::string& utf8);
    void fill(uint8_t v, size_t n) { data_.insert(data_.end(), n, v); }

    // Overwrite already written bytes (for fields known only at the end).
    void putU16le(size_t at, uint16_t v) { putLE(at, v); }
    void putU32le(size_t at, uint32_t v) { putLE(at, v); }
    void putU32be(size_t at, uint32_t v) {
        for (size_t i = 0; i < 4; ++i) data_.at(at + i) = uint8_t(v >> (8 * (3 - i)));
    }

private:
    template <typename T>
    void writeLE(T v) {
        for (size_t i = 0; i < sizeof(T); ++i) data_.push_back(uint8_t(v >> (8 * i)));
    }
    template <typename T>
    void writeBE(T v) {
        for (size_t i = sizeof(T); i-- > 0;) data_.push_back(uint8_t(v >> (8 * i)));
    }
    template <typename T>
    void putLE(size_t at, T v) {
        for (size_t i = 0; i < sizeof(T); ++i) data_.at(at + i) = uint8_t(v >> (8 * i));
    }
    std::vector<uint8_t> data_;
};

// ISO Latin-1 ↔ UTF-8.
std::string VDLLatin1ToUTF8(std::span<const uint8_t> bytes);
std::string VDLUTF8ToLatin1(const std::string& utf8);
