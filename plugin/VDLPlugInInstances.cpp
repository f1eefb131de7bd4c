#include "VDLPlugInInstances.h"

#include <atomic>

namespace {
std::atomic<uint32_t> gInstances{0};
}

void VDLPlugInAddInstanceForFactory(const VDLUUIDBytes&) { gInstances.fetch_add(1); }

void VDLPlugInRemoveInstanceForFactory(const VDLUUIDBytes&) {
    uint32_t n = gInstances.load();
    while (n > 0 && !gInstances.compare_exchange_weak(n, n - 1)) {
    }
}

VDL_PLUGIN_EXPORT uint32_t VDLPlugInInstanceCount(void) { return gInstances.load(); }
