// The one way in and out of embroidery files: the reader or writer is chosen by the lower-cased
// extension of the file name, with the work common to every format done here.
#include "VDLDesign.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>

namespace {

using Reader = bool (VDLDesign::*)(const VDLURL&, VDLError*);
using Writer = bool (VDLDesign::*)(const VDLURL&, VDLError*);

struct ReadEntry {
    const char* extension;
    Reader read;
};

struct WriteEntry {
    const char* extension;
    const char* type;  // the type name the normalisation pass limits the stitches for
    Writer write;
};

// Reading tries these in order; "jef+" is a JEF file the JEF reader reads in its jef+ form
// (it decides that from the extension itself).
const ReadEntry kReaders[] = {
    {"jef", &VDLDesign::importJefDesignFromURL},  {"jef+", &VDLDesign::importJefDesignFromURL},
    {"jpx", &VDLDesign::importJpxDesignFromURL},  {"pes", &VDLDesign::importPesDesignFromURL},
    {"pec", &VDLDesign::importPecDesignFromURL},  {"sew", &VDLDesign::importSewDesignFromURL},
    {"exp", &VDLDesign::importExpDesignFromURL},  {"dst", &VDLDesign::importDstDesignFromURL},
    {"vp3", &VDLDesign::importVp3DesignFromURL},  {"ksm", &VDLDesign::importKsmDesignFromURL},
    {"pcs", &VDLDesign::importPcxDesignFromURL},  {"pcd", &VDLDesign::importPcxDesignFromURL},
    {"pcq", &VDLDesign::importPcxDesignFromURL},
};

const WriteEntry kWriters[] = {
    {"jef", "JEF", &VDLDesign::exportJefDesignToURL}, {"pes", "PES", &VDLDesign::exportPesDesignToURL},
    {"pec", "PEC", &VDLDesign::exportPecDesignToURL}, {"exp", "EXP", &VDLDesign::exportExpDesignToURL},
    {"dst", "DST", &VDLDesign::exportDstDesignToURL}, {"pcs", "PCS", &VDLDesign::exportPcsDesignToURL},
};

std::string lowercased(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A directory, a missing file or one we may not read is reported with the system's own error
// before any reader sees it, so the user learns what is wrong with the file rather than
// reading a format complaint about a header that was never there.
bool checkReadable(const VDLURL& url, VDLError* error) {
    const std::string path = url.path();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return VDLPOSIXError(error, errno, path);
    struct stat st {};
    int err = 0;
    if (::fstat(fd, &st) != 0) err = errno;
    else if (S_ISDIR(st.st_mode)) err = EISDIR;
    else if (!S_ISREG(st.st_mode)) err = EINVAL;  // FIFOs, devices: never block or read forever
    ::close(fd);
    if (err) return VDLPOSIXError(error, err, path);
    return true;
}

}  // namespace

bool VDLDesign::importDesignFromURL(const VDLURL& url, VDLError* error) {
    designName_ = url.lastPathComponent();
    designLocation_ = url;
    threads_.clear();
    stitches_.clear();

    const std::string extension = lowercased(url.pathExtension());
    Reader reader = nullptr;
    for (const auto& entry : kReaders)
        if (extension == entry.extension) {
            reader = entry.read;
            break;
        }
    if (!reader) return VDLDesignError(error, 10, "Unknown file format (UTI).");

    const bool readerOK = checkReadable(url, error) && (this->*reader)(url, error);
    // The thread file is consulted whatever the reader said; it only replaces the threads
    // when it holds exactly as many as the reader produced.
    useThreadFile_ = importThreadsForDesign(designLocation_);
    if (!readerOK) return false;

    if (stitches_.empty()) return VDLDesignError(error, 11, "File holds no stitches.");
    if (threads_.empty()) return VDLDesignError(error, 12, "File holds no threads.");
    displayRange_ = VDLRange{0, uint64_t(stitches_.size())};
    return true;
}

bool VDLDesign::exportDesignToURL(const VDLURL& url, VDLError* error) {
    if (threads_.empty()) return VDLDesignError(error, 13, "Unable to export embroidery file (no threads found).");
    if (stitches_.empty()) return VDLDesignError(error, 14, "Unable to export embroidery file (no stitches found).");
    designName_ = url.lastPathComponent();

    const std::string extension = lowercased(url.pathExtension());
    const WriteEntry* writer = nullptr;
    for (const auto& entry : kWriters)
        if (extension == entry.extension) {
            writer = &entry;
            break;
        }
    if (!writer) {
        VDLDesignError(error, 50, "Unsupported file format (UTI) for export.");
        std::fprintf(stderr, "VDLDesign:exportDesignToURL:%s\n    Error: %s, fileExtension: %s\n",
                     url.description().c_str(), error ? error->description().c_str() : "(null)", extension.c_str());
        return false;
    }

    optimizeJumpsFor(writer->type);
    if (!(this->*(writer->write))(url, error)) return false;

    // A design built in memory has no location yet: there is nothing to put a thread file
    // beside (an empty location must never turn into a ".threads" file in the working folder).
    if (!designLocation_.isEmpty()) {
        if (useThreadFile_)
            exportThreadsForDesign(designLocation_);
        else
            deleteThreadsFromDesign(designLocation_);
    }
    return true;
}

bool VDLDesign::checkHoopForVendor(const std::string& vendor, const char* exceedsHoopText,
                                   const char* unsupportedHoopText, VDLError* error) {
    const std::optional<VDLHoop> kept = designHoop_;
    auto fail = [&](int64_t code, const char* text) {
        designHoop_ = kept;
        return VDLDesignError(error, code, text);
    };
    if (!designHoop_ || designHoop_->vendor() != vendor) designHoop_ = findHoopFromVendor(vendor);
    if (!designHoop_) return fail(63, "Design exceeds all hoop sizes.");
    if (!designFitsInHoop(*designHoop_)) return fail(60, exceedsHoopText);
    if (stitchesOutsideOfHoop(*designHoop_)) return fail(62, "Stitches ouside the current hoop.");
    if (!designHoop_->isWritable()) return fail(51, unsupportedHoopText);
    return true;
}
