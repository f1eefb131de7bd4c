// The one way in and out of embroidery files: the reader or writer is chosen by the lower-cased
// extension of the file name, with the work common to every format done here.
#include "VDLDesign.h"
#include "VDLFile.h"
#include "VDLThreadFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <string_view>

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

// Signatures by which a file names its own format whatever its extension says, with the
// extension whose reader takes that format.
struct ContentSignature {
    std::string_view magic;
    const char* extension;
    const char* format;
};
const ContentSignature kSignatures[] = {
    {"#PES", "pes", "PES"},
    {"#PEC0001", "pec", "PEC"},
    {"%vsm%", "vp3", "VP3"},
};

// The codes with which the reader of EXTENSION refuses a file whose beginning is not laid out
// as its format's: only then is the content asked which format it is. Failures further into a
// file of the right format are that file's own faults and are reported as they are.
bool refusedAsForeign(const std::string& extension, const VDLError& e) {
    if (e.domain != VDLDesignErrorDomain) return false;
    const int64_t c = e.code;
    if (extension == "jef" || extension == "jef+") return c == 20 || c == 21 || c == 23;
    if (extension == "jpx") return c >= 210 && c <= 212;
    if (extension == "pes" || extension == "pec") return c == 30;
    if (extension == "sew") return c == 90 || c == 91;
    if (extension == "dst") return c == 110 || (c >= 112 && c <= 119) || c == 123;
    if (extension == "vp3") return c == 150;
    if (extension == "ksm") return c == 170;
    if (extension == "pcs" || extension == "pcd" || extension == "pcq") return c == 160 || c == 161;
    return false;
}

// The signature the file at PATH begins with, if any.
const ContentSignature* signatureOfFile(const std::string& path) {
    std::vector<uint8_t> head;
    if (!VDLReadFile(path, head, nullptr)) return nullptr;
    for (const auto& sig : kSignatures)
        if (head.size() >= sig.magic.size() && std::equal(sig.magic.begin(), sig.magic.end(), head.begin()))
            return &sig;
    return nullptr;
}

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

    // The reader's error is kept here first: whether the content is asked for its format
    // depends on it.
    VDLError readError;
    const std::optional<VDLHoop> hoopBefore = designHoop_;
    bool readerOK = checkReadable(url, &readError) && (this->*reader)(url, &readError);
    if (!readerOK && refusedAsForeign(extension, readError)) {
        // A file whose extension lies: it may still carry the signature of a format we read.
        const ContentSignature* sig = signatureOfFile(url.path());
        Reader actual = nullptr;
        if (sig)
            for (const auto& entry : kReaders)
                if (std::string_view(entry.extension) == sig->extension) actual = entry.read;
        if (actual && actual != reader) {
            std::fprintf(stderr, "VDLDesign:importDesignFromURL:%s\n    the file holds %s data, not %s: read as %s\n",
                         url.description().c_str(), sig->format, extension.c_str(), sig->format);
            threads_.clear();
            stitches_.clear();
            designHoop_ = hoopBefore;
            readError = VDLError();
            readerOK = (this->*actual)(url, &readError);
        }
    }
    // The thread file is consulted whatever the reader said; it only replaces the threads
    // when it holds exactly as many as the reader produced.
    useThreadFile_ = importThreadsForDesign(designLocation_);
    if (!readerOK) return VDLSetError(error, readError);

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

    // The design file and its thread file change together or not at all: the colours are
    // written to a temporary file first (a full disk refuses the save before the design is
    // touched) and take the thread file's name only once the design is written. A design built
    // in memory has no location yet: there is nothing to put a thread file beside (an empty
    // location must never turn into a ".threads" file in the working folder).
    const bool sideFile = !designLocation_.isEmpty();
    const std::string threadsPath = sideFile ? VDLThreadFileURLForDesign(designLocation_).path() : std::string();
    std::string staged;
    if (sideFile && useThreadFile_) {
        const std::string xml = VDLThreadFileDataForThreads(threads_);
        if (!VDLStageFile(threadsPath, xml.data(), xml.size(), staged, error)) return false;
    }
    if (!(this->*(writer->write))(url, error)) {
        VDLDiscardStagedFile(staged);
        return false;
    }
    if (!sideFile) return true;
    if (useThreadFile_) {
        if (!VDLCommitStagedFile(staged, threadsPath, error)) {
            // The new design must not meet the old colours at the next open.
            ::unlink(threadsPath.c_str());
            return false;
        }
    } else if (!deleteThreadsFromDesign(designLocation_)) {
        return VDLPOSIXError(error, errno, threadsPath);
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
    if (!designHoop_ || designHoop_->vendor() != vendor) {
        // Choosing the hoop: the first writable one the design fits that also holds every
        // stitch inside its half-size lines, so that a design exactly as large as a small hoop
        // goes into the next larger one. When no hoop holds it, the first one it fits, and the
        // checks below say what is wrong.
        designHoop_ = findHoopFromVendor(vendor);
        for (const VDLHoop& h : hoops())
            if (h.vendor() == vendor && h.isWritable() && designFitsInHoop(h) && !stitchesOutsideOfHoop(h)) {
                designHoop_ = h;
                break;
            }
    }
    if (!designHoop_) return fail(63, "Design exceeds all hoop sizes.");
    if (!designFitsInHoop(*designHoop_)) return fail(60, exceedsHoopText);
    if (stitchesOutsideOfHoop(*designHoop_)) return fail(62, "Stitches ouside the current hoop.");
    if (!designHoop_->isWritable()) return fail(51, unsupportedHoopText);
    return true;
}
