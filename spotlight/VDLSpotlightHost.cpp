#include "VDLSpotlightHost.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

std::unique_ptr<VDLSpotlightImporter> VDLSpotlightImporter::load(const std::string& path, std::string* error) {
    const std::string where = path.empty() ? VDLFindPlugIn(VARDELLE_SPOTLIGHT_LIBRARY) : path;
    if (where.empty()) {
        if (error) *error = VARDELLE_SPOTLIGHT_LIBRARY " not found (set VARDELLE_PLUGIN_DIR)";
        return nullptr;
    }
    std::unique_ptr<VDLPlugInModule> module = VDLPlugInModule::load(where, error);
    if (!module) return nullptr;
    void* instance = module->createInstance(kVDLMDImporterTypeID, error);
    if (!instance) return nullptr;
    void* iface = VDLQueryInterface(instance, kVDLMDImporterInterfaceID);
    if (!iface) {
        VDLReleaseInstance(instance);
        if (error) *error = where + ": the plug-in has no importer interface";
        return nullptr;
    }
    return std::unique_ptr<VDLSpotlightImporter>(new VDLSpotlightImporter(std::move(module), instance, iface));
}

VDLSpotlightImporter::~VDLSpotlightImporter() {
    VDLReleaseInstance(interface_);
    VDLReleaseInstance(instance_);
}

bool VDLSpotlightImporter::importData(const std::string& path, VDLMDAttributes& attributes,
                                      const std::string& contentType) {
    const auto* table = *static_cast<VDLMDImporterInterfaceStruct**>(interface_);
    if (!table->ImporterImportData) return false;
    const std::string type = contentType.empty() ? contentTypeForPath(path) : contentType;
    return table->ImporterImportData(interface_, &attributes, type.c_str(), path.c_str());
}

std::string VDLSpotlightImporter::contentTypeForPath(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (ext == "jef+") ext = "jef";
    static const char* const kKnown[] = {"dst", "exp", "vp3", "ksm", "pes", "pec", "jef", "jpx", "sew", "pcs", "pcd", "pcq"};
    for (const char* k : kKnown)
        if (ext == k) return std::string("application/x-") + k;
    return {};
}
