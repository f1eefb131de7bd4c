#pragma once
// An embroidery machine that reads designs from a removable medium: which formats it reads, how
// large a design may be, and the folder layout it expects on the medium. The catalogue is fixed
// (idents 0 to 8); the records are immutable values.
//
// The path rules work on the path of an item RELATIVE TO THE MOUNT POINT of the selected volume:
// component 0 is the first folder on the volume (the root folder), then its subfolders, then the
// file. Media are mounted anywhere (/media/USER/LABEL, /run/media/USER/LABEL, ...), so the rules
// never look at the folders above the mount point; an item outside the mount point fails both
// rules. Paths are compared lexically after normalisation: callers pass resolved paths.
//
// Standard library only: no Qt here, so the rules are tested without a GUI.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class VDLMachine {
public:
    // The machine of the catalogue with this ident; none for any other ident (negative ones too).
    static std::optional<VDLMachine> machineWithIdent(int32_t ident);
    // Every ident of the catalogue, in order.
    static std::vector<int32_t> allIdents();

    int32_t ident() const { return ident_; }
    const std::vector<std::string>& allowedFileTypes() const { return allowedFileTypes_; }
    const std::vector<std::string>& allowedFileSystems() const { return allowedFileSystems_; }
    int32_t maxStitches() const { return maxStitches_; }  // -1 = unlimited
    // Folders directly on the volume where designs may be stored; none = anywhere.
    const std::optional<std::vector<std::string>>& rootFolders() const { return rootFolders_; }
    // Created before saving, from the volume root, with leading and trailing "/".
    const std::string& defaultFolder() const { return defaultFolder_; }
    int32_t subfolderMin() const { return subfolderMin_; }
    int32_t subfolderMax() const { return subfolderMax_; }          // -1 = unlimited
    int32_t maxFilesPerFolder() const { return maxFilesPerFolder_; }  // -1 = unlimited

    std::string description() const;

    // Size check: ELEMENTS is the design's stitch count plus its thread count.
    bool acceptsElementCount(int64_t elements) const;
    bool allowsFileSystem(const std::string& name) const;
    bool allowsFileType(const std::string& extension) const;  // any case, without the dot
    // Whether the save dialog may create folders: two or more root folders, or a subfolder level
    // is required.
    bool canCreateFolders() const;

    // Information texts of the export dialog.
    std::string rootFoldersText() const;    // "-", "A", "A, B", "A ... Z"
    std::string subfolderRangeText() const; // "-", "unsupported", "1", "1 - 3"

    // Which items the save dialog lists. PATH is the item, MOUNT the selected volume's mount
    // point, ENTRIES the number of entries the item holds (0 for a file). The mount point and
    // the folders above it are always listed, so the dialog can show the way to the volume.
    bool shouldShowFilename(const std::string& path, const std::string& mount, bool isFolder,
                            int64_t entries) const;
    // Whether PATH may be used as the target file; FOLDER_ENTRIES is the number of entries its
    // folder already holds.
    bool isValidFilename(const std::string& path, const std::string& mount, int64_t folderEntries) const;

    // The components of PATH below MOUNT (root folder first); none when PATH is not inside MOUNT.
    static std::optional<std::vector<std::string>> componentsBelow(const std::string& path,
                                                                   const std::string& mount);

private:
    VDLMachine() = default;
    bool isRootFolder(const std::string& name) const;

    int32_t ident_ = 0;
    std::vector<std::string> allowedFileTypes_;
    std::vector<std::string> allowedFileSystems_;
    int32_t maxStitches_ = -1;
    std::optional<std::vector<std::string>> rootFolders_;
    std::string defaultFolder_;
    int32_t subfolderMin_ = 0;
    int32_t subfolderMax_ = -1;
    int32_t maxFilesPerFolder_ = -1;
};
