#pragma once
// The thread side file beside a design file ("Rose.dst" keeps its thread list in
// "Rose.threads"): an XML property list whose root is an array of one dictionary per thread.
// VDLDesign reads, writes and deletes it (import/export/deleteThreadsForDesign); the byte-level
// halves live here so tests and the fuzz target can use them without files.
#include "VDLGeometry.h"
#include "VDLThread.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The thread file that belongs to the design file DESIGNURL: its extension (whatever its case)
// replaced by "threads"; a name without extension gets ".threads" appended.
VDLURL VDLThreadFileURLForDesign(const VDLURL& designURL);

// The threads of a thread file's content; none when it is not an XML property list whose root
// is an array of dictionaries. Every thread is made with the designated initialiser (length 0,
// tension 13, shown).
std::optional<std::vector<VDLThread>> VDLThreadsFromThreadFileData(std::span<const uint8_t> bytes);

// The content of a thread file for THREADS (the current form, "threadfileversion" 2).
std::string VDLThreadFileDataForThreads(const std::vector<VDLThread>& threads);
