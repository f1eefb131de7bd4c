#include "VDLBytes.h"

std::string VDLLatin1ToUTF8(std::span<const uint8_t> bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (uint8_t b : bytes) {
        if (b < 0x80) {
            out += char(b);
        } else {
            out += char(0xC0 | (b >> 6));
            out += char(0x80 | (b & 0x3F));
        }
    }
    return out;
}

std::string VDLUTF8ToLatin1(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const uint8_t c = uint8_t(utf8[i]);
        if (c < 0x80) {
            out += char(c);
            ++i;
            continue;
        }
        size_t len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
        uint32_t cp = len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : len == 4 ? (c & 0x07) : 0xFFFD;
        if (i + len > utf8.size()) len = utf8.size() - i;
        for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (uint8_t(utf8[i + k]) & 0x3F);
        out += cp <= 0xFF ? char(cp) : '?';
        i += len;
    }
    return out;
}

bool VDLByteReader::latin1(size_t n, std::string& out) {
    std::span<const uint8_t> s;
    if (!bytes(n, s)) return false;
    out = VDLLatin1ToUTF8(s);
    return true;
}

void VDLByteWriter::latin1(const std::string& utf8) { ascii(VDLUTF8ToLatin1(utf8)); }
