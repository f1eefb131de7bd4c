#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct VDLError;

// Reads the whole file. A directory, a missing or unreadable file fails with the system error
// (domain "posix", errno).
bool VDLReadFile(const std::string& path, std::vector<uint8_t>& bytes, VDLError* error = nullptr);

// Reads the whole of a regular file of at most MAX_BYTES bytes. Anything else is refused before
// a byte is read: a FIFO or socket (which could block the caller for ever), a device such as
// /dev/zero (which never ends), a directory (EISDIR), a larger file (EFBIG, also when it grows
// past the bound while being read). The file is opened without blocking and checked on the
// open descriptor, so it cannot be swapped between the check and the read.
bool VDLReadRegularFile(const std::string& path, std::vector<uint8_t>& bytes, size_t maxBytes,
                        VDLError* error = nullptr);

// Replaces PATH atomically with BYTES: a temporary file in the same folder is written, flushed
// and renamed over the target. On failure the old file is untouched, the temporary file is
// removed and the system error is passed back unchanged (domain "posix", errno). An existing
// target keeps its permission bits. When PATH is a symbolic link (or a chain of them) the file it
// leads to is replaced and the link stays: the temporary file is written beside that file.
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

// The two halves of VDLWriteFileAtomically, for a file that must change together with another
// one: VDLStageFile writes BYTES to a new temporary file beside PATH (or beside the end of its
// chain of symbolic links), flushed, with the permission bits PATH has or would get, and answers
// its name in STAGED; VDLCommitStagedFile renames it over PATH's file, VDLDiscardStagedFile
// removes it. Failures pass the system error back (domain "posix", errno) and leave PATH untouched.
bool VDLStageFile(const std::string& path, const void* data, size_t size, std::string& staged, VDLError* error = nullptr);
bool VDLCommitStagedFile(const std::string& staged, const std::string& path, VDLError* error = nullptr);
void VDLDiscardStagedFile(const std::string& staged);

// Asks the kernel to back a large, freshly reserved buffer with huge pages where it can, so that
// filling it costs a few page faults instead of one per 4 KiB page. Only a hint: small buffers,
// unaligned edges and systems without transparent huge pages are left as they are.
void VDLAdviseLargeBuffer(const void* data, size_t bytes);
