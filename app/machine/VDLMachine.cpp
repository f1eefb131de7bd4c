#include "VDLMachine.h"

#include "VDLFormat.h"
#include "VDLLocalization.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace {

const std::vector<std::string> kFatFileSystems = {"MS-DOS (FAT12)", "MS-DOS (FAT16)", "MS-DOS (FAT32)"};

std::string upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string joined(const std::vector<std::string>& items, const char* separator) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) out += separator;
        out += items[i];
    }
    return out;
}

// A list in the property-list text style of the platform's description: ( A, B ).
std::string listDescription(const std::vector<std::string>& items) {
    if (items.empty()) return "( )";
    return "( " + joined(items, ", ") + " )";
}

}  // namespace

std::optional<VDLMachine> VDLMachine::machineWithIdent(int32_t ident) {
    struct Row {
        std::vector<std::string> types;
        int32_t maxStitches;
        std::optional<std::vector<std::string>> roots;
        const char* defaultFolder;
        int32_t subMin, subMax, maxFiles;
    };
    static const Row rows[] = {
        {{"JEF", "PES", "PEC", "EXP", "DST", "PCS"}, -1, std::nullopt, "/", 0, -1, -1},
        {{"JEF"}, 64000, std::vector<std::string>{"EMB"}, "/EMB/EmbF/", 1, 1, 100},
        {{"JEF"}, 64000, std::vector<std::string>{"EmbF5"}, "/EmbF5/", 0, 0, 100},
        {{"JEF"}, 64000, std::vector<std::string>{"EmbF5"}, "/EmbF5/MyDesign/", 1, 1, 100},
        {{"JEF"}, 100000, std::vector<std::string>{"EMB_FILE", "PC_LINK"}, "/EMB_FILE/", 0, 0, 100},
        {{"JEF"}, 100000,
         std::vector<std::string>{"EmbF5", "EmbF6", "EmbF7", "EmbF8", "EmbF9", "EmbF10", "EmbF11", "EmbF12",
                                  "EmbF13", "EmbF14", "EmbF15", "EmbF16"},
         "/EmbF5/", 0, 0, 100},
        {{"JEF"}, 100000, std::vector<std::string>{"EMB"}, "/EMB/EmbF/", 1, 1, 100},
        {{"JEF", "DST"}, 200000, std::vector<std::string>{"EMB"}, "/EMB/EmbF/", 1, 1, 100},
        {{"JEF"}, 200000, std::vector<std::string>{"EMB"}, "/EMB/EmbF/", 1, 1, 100},
    };
    if (ident < 0 || ident >= int32_t(std::size(rows))) return std::nullopt;
    const Row& r = rows[ident];
    VDLMachine m;
    m.ident_ = ident;
    m.allowedFileTypes_ = r.types;
    m.allowedFileSystems_ = kFatFileSystems;
    m.maxStitches_ = r.maxStitches;
    m.rootFolders_ = r.roots;
    m.defaultFolder_ = r.defaultFolder;
    m.subfolderMin_ = r.subMin;
    m.subfolderMax_ = r.subMax;
    m.maxFilesPerFolder_ = r.maxFiles;
    return m;
}

std::vector<int32_t> VDLMachine::allIdents() { return {0, 1, 2, 3, 4, 5, 6, 7, 8}; }

std::string VDLMachine::description() const {
    return VDLFormat("Ident: %i, Formats: %@, max. Stitches: %i, Filesystems: %@, Root: %@, Default: %@, "
                     "Subfolders: (%i - %i), max. Files: %i",
                     ident_, listDescription(allowedFileTypes_), maxStitches_, listDescription(allowedFileSystems_),
                     rootFolders_ ? listDescription(*rootFolders_) : std::string("(null)"), defaultFolder_,
                     subfolderMin_, subfolderMax_, maxFilesPerFolder_);
}

bool VDLMachine::acceptsElementCount(int64_t elements) const {
    return maxStitches_ == -1 || elements <= int64_t(maxStitches_);
}

bool VDLMachine::allowsFileSystem(const std::string& name) const {
    return std::find(allowedFileSystems_.begin(), allowedFileSystems_.end(), name) != allowedFileSystems_.end();
}

bool VDLMachine::allowsFileType(const std::string& extension) const {
    const std::string e = upper(extension);
    return std::find(allowedFileTypes_.begin(), allowedFileTypes_.end(), e) != allowedFileTypes_.end();
}

bool VDLMachine::canCreateFolders() const {
    return (rootFolders_ && rootFolders_->size() >= 2) || subfolderMin_ > 0;
}

bool VDLMachine::isRootFolder(const std::string& name) const {
    return rootFolders_ && std::find(rootFolders_->begin(), rootFolders_->end(), name) != rootFolders_->end();
}

std::string VDLMachine::rootFoldersText() const {
    if (!rootFolders_ || rootFolders_->empty()) return "-";
    const auto& r = *rootFolders_;
    if (r.size() == 1) return r[0];
    if (r.size() == 2) return VDLFormat("%@, %@", r[0], r[1]);
    return VDLFormat("%@ ... %@", r.front(), r.back());
}

std::string VDLMachine::subfolderRangeText() const {
    if (subfolderMax_ == -1) return "-";
    if (subfolderMin_ == 0 && subfolderMax_ == 0)
        return VDLLocalizedString("EXPORT_UNSUPPORTED", "VDLDocument", "unsupported");
    if (subfolderMin_ == subfolderMax_) return std::to_string(subfolderMin_);
    return VDLFormat("%@ - %@", std::to_string(subfolderMin_), std::to_string(subfolderMax_));
}

std::optional<std::vector<std::string>> VDLMachine::componentsBelow(const std::string& path,
                                                                   const std::string& mount) {
    namespace fs = std::filesystem;
    if (path.empty() || mount.empty()) return std::nullopt;
    const fs::path p = fs::path(path).lexically_normal();
    const fs::path m = fs::path(mount).lexically_normal();
    if (!p.is_absolute() || !m.is_absolute()) return std::nullopt;
    std::vector<std::string> mountParts, parts;
    for (const auto& c : m)
        if (!c.empty() && c != "/") mountParts.push_back(c.string());
    for (const auto& c : p)
        if (!c.empty() && c != "/") parts.push_back(c.string());
    if (parts.size() < mountParts.size() || !std::equal(mountParts.begin(), mountParts.end(), parts.begin()))
        return std::nullopt;
    return std::vector<std::string>(parts.begin() + std::ptrdiff_t(mountParts.size()), parts.end());
}

// On the platform the rules were first written for, a path reads /, Volumes, NAME, root folder,
// subfolders..., file, so "component count - 4" is the number of components below the root
// folder and "component count - 5" the number of folders between the root folder and a file.
// Below the mount point that is (k - 1) and (k - 2) for k components.
bool VDLMachine::shouldShowFilename(const std::string& path, const std::string& mount, bool isFolder,
                                    int64_t entries) const {
    // The folders above the mount point and the mount point itself: the way to the volume.
    if (componentsBelow(mount, path)) return true;
    const auto rel = componentsBelow(path, mount);
    if (!rel) return false;
    const int64_t k = int64_t(rel->size());
    if (rootFolders_ && !isRootFolder((*rel)[0])) return false;
    // Folders count their own level; a file counts the folders it lies in, so the designs already
    // in an allowed folder are listed.
    const int64_t depth = isFolder ? k - 1 : k - 2;
    if (subfolderMax_ != -1 && depth > subfolderMax_) return false;
    if (!isFolder) return true;
    return maxFilesPerFolder_ == -1 || entries < maxFilesPerFolder_;
}

bool VDLMachine::isValidFilename(const std::string& path, const std::string& mount, int64_t folderEntries) const {
    const auto rel = componentsBelow(path, mount);
    if (!rel || rel->empty()) return false;
    if (rootFolders_ && (rel->size() < 2 || !isRootFolder((*rel)[0]))) return false;
    const int64_t d = int64_t(rel->size()) - 2;
    if (subfolderMax_ != -1 && (d < subfolderMin_ || d > subfolderMax_)) return false;
    if (maxFilesPerFolder_ != -1 && folderEntries >= maxFilesPerFolder_) return false;
    const std::string name = rel->back();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    return allowsFileType(name.substr(dot + 1));
}
