#pragma once
// Formats without colour information (DST, EXP, KSM, PCD, PCQ) name block k by the key
// (k mod 20) + 1 of the "Undefined" chart. The twenty threads are made once per read or
// write: a chart lookup per colour change would dominate large files.
#include "VDLThread.h"

#include <array>
#include <optional>
#include <string>

class VDLUndefinedThreads {
public:
    const VDLThread& forIndex(size_t i) {
        auto& slot = cache_[i % 20];
        if (!slot) slot.emplace(std::to_string(i % 20 + 1), "Undefined");
        return *slot;
    }

private:
    std::array<std::optional<VDLThread>, 20> cache_;
};
