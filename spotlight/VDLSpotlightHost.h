#pragma once
// The host side of the metadata plug-in: loads the importer through its factory and asks it
// for the attributes of a file.
#include "VDLPlugInHost.h"
#include "VDLSpotlight.h"

#include <memory>
#include <string>

class VDLSpotlightImporter {
public:
    // The importer in the plug-in module at PATH ("" finds VardelleSpotlight.so the usual way).
    static std::unique_ptr<VDLSpotlightImporter> load(const std::string& path = {}, std::string* error = nullptr);
    ~VDLSpotlightImporter();
    VDLSpotlightImporter(const VDLSpotlightImporter&) = delete;
    VDLSpotlightImporter& operator=(const VDLSpotlightImporter&) = delete;

    const VDLPlugInModule& module() const { return *module_; }

    // The importer's answer for the file at PATH: whether it filled ATTRIBUTES.
    bool importData(const std::string& path, VDLMDAttributes& attributes, const std::string& contentType = {});

    // The content type the desktop gives a design file, from its extension
    // ("application/x-dst"); "" for other files.
    static std::string contentTypeForPath(const std::string& path);

private:
    VDLSpotlightImporter(std::unique_ptr<VDLPlugInModule> module, void* instance, void* iface)
        : module_(std::move(module)), instance_(instance), interface_(iface) {}
    std::unique_ptr<VDLPlugInModule> module_;
    void* instance_;
    void* interface_;
};
