// Thread side file contents: parsing must never crash, and whatever parses must survive a
// write and re-read with the same number of threads.
#include "VDLThreadFile.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto threads = VDLThreadsFromThreadFileData(std::span<const uint8_t>(data, size));
    if (!threads) return 0;
    const std::string again = VDLThreadFileDataForThreads(*threads);
    auto reread = VDLThreadsFromThreadFileData(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(again.data()), again.size()));
    if (!reread || reread->size() != threads->size()) std::abort();
    return 0;
}
