#pragma once
// The desktop's shared thumbnail cache: one PNG per file under
// $XDG_CACHE_HOME/thumbnails/<size>/ (else ~/.cache/thumbnails), named by the MD5 of the file's
// URI, carrying Thumb::URI, Thumb::MTime, Thumb::Size and Thumb::Mimetype. Entries are written
// to a temporary file beside them and renamed into place, readable by their owner only; a file
// that cannot be drawn gets an entry under fail/vardelle-<version>/ so no one tries it again
// until it changes.
#include "model/batch/VDLBatch.h"

#include <cstdint>
#include <string>

// "normal" (128 pixels), "large" (256), "x-large" (512), "xx-large" (1024); 0 for other names.
int VDLThumbnailPixelsForSize(const std::string& sizeName);

// The cache's base folder: $XDG_CACHE_HOME/thumbnails, else $HOME/.cache/thumbnails.
std::string VDLThumbnailCacheFolder();

// file:// URI of an absolute path, every byte but the unreserved ones and '/' percent-encoded.
std::string VDLThumbnailURIForPath(const std::string& absolutePath);

// Lower-case hex MD5 of BYTES.
std::string VDLMD5Hex(const std::string& bytes);

// The MIME type our desktop entry gives a design file's extension.
std::string VDLThumbnailMimeType(const std::string& path);

struct VDLThumbnailCacheOptions {
    std::string cacheFolder;   // VDLThumbnailCacheFolder() when empty
    std::string sizeName = "normal";
    std::string version;       // ours, naming the failure folder "vardelle-<version>"
};

// Makes the cache entry of the design at PATH unless a current one (or a current failure entry
// of ours) is there: Skipped then. Done when an entry was written; Failed when the design could
// not be drawn (its failure entry written) or the cache could not be written.
VDLBatchOutcome VDLThumbnailCacheFile(const std::string& path, const VDLThumbnailCacheOptions& options);

// The path of PATH's entry in the cache (whether or not it exists); FAILED for the failure entry.
std::string VDLThumbnailCachePath(const std::string& path, const VDLThumbnailCacheOptions& options, bool failed = false);
