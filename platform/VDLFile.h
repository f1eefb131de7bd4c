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

// The two halves of VDLWriteFileAtomically, for a file that must change together with another
// one: VDLStageFile writes BYTES to a new temporary file in PATH's folder (flushed, with the
// permission bits PATH has or would get) and answers its name in STAGED; VDLCommitStagedFile
// renames it over PATH, VDLDiscardStagedFile removes it. Failures pass the system error back
// (domain "posix", errno) and leave PATH untouched.
bool VDLStageFile(const std::string& path, const void* data, size_t size, std::string& staged, VDLError* error = nullptr);
bool VDLCommitStagedFile(const std::string& staged, const std::string& path, VDLError* error = nullptr);
void VDLDiscardStagedFile(const std::string& staged);

// Asks the kernel to back a large, freshly reserved buffer with huge pages where it can, so that
// filling it costs a few page faults instead of one per 4 KiB page. Only a hint: small buffers,
// unaligned edges and systems without transparent huge pages are left as they are.
void VDLAdviseLargeBuffer(const void* data, size_t bytes);
