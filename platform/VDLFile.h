#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct VDLError;

// Reads the whole file. A directory, a missing or unreadable file fails with the system error
// (domain "posix", errno).
bool VDLReadFile(const std::string& path, std::vector<uint8_t>& bytes, VDLError* error = nullptr);

// Replaces PATH atomically with BYTES: a temporary file in the same folder is written, flushed
// and renamed over the target. On failure the old file is untouched, the temporary file is
// removed and the system error is passed back unchanged (domain "posix", errno). An existing
// target keeps its permission bits.
bool VDLWriteFileAtomically(const std::string& path, const void* data, size_t size, VDLError* error = nullptr);
inline bool VDLWriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, VDLError* error = nullptr) {
    return VDLWriteFileAtomically(path, bytes.data(), bytes.size(), error);
}

// While one is alive on a thread, the new files that thread writes with VDLWriteFileAtomically
// (those that replace nothing) are not flushed one by one: whoever made it flushes them all at
// once (VDLSyncFiles) before saying they are written. Thousands of small new files then cost one
// flush instead of one each. A file that replaces an existing one is always flushed before the
// rename, so what a user had is never lost.
class VDLDeferredFileSync {
public:
    VDLDeferredFileSync();
    ~VDLDeferredFileSync();
    VDLDeferredFileSync(const VDLDeferredFileSync&) = delete;
    VDLDeferredFileSync& operator=(const VDLDeferredFileSync&) = delete;

private:
    bool previous_;
};
// Flushes to disk every file written so far on the file systems that hold PATHS (each file system
// once).
void VDLSyncFiles(const std::vector<std::string>& paths);

// The process's file-creation mask, read without changing it (other threads may be creating
// files at the same moment).
unsigned VDLCurrentUmask();

// Asks the kernel to back a large, freshly reserved buffer with huge pages where it can, so that
// filling it costs a few page faults instead of one per 4 KiB page. Only a hint: small buffers,
// unaligned edges and systems without transparent huge pages are left as they are.
void VDLAdviseLargeBuffer(const void* data, size_t bytes);
