#include "VDLPlugInHost.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string executableDirectory() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

bool isFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

const VDLIUnknownVTbl* vtable(void* instance) { return instance ? *static_cast<VDLIUnknownVTbl**>(instance) : nullptr; }

}  // namespace

std::string VDLFindPlugIn(const std::string& fileName) {
    if (const char* env = std::getenv("VARDELLE_PLUGIN_DIR"); env && *env) {
        const fs::path p = fs::path(env) / fileName;
        return isFile(p) ? p.string() : std::string();
    }
    std::vector<fs::path> candidates;
    if (const std::string exe = executableDirectory(); !exe.empty()) {
        candidates.push_back(fs::path(exe) / fileName);
        candidates.push_back(fs::path(exe) / ".." / "lib" / "vardelle" / fileName);
    }
#ifdef VARDELLE_QUICKLOOK_BUILD_DIR
    candidates.push_back(fs::path(VARDELLE_QUICKLOOK_BUILD_DIR) / fileName);
#endif
#ifdef VARDELLE_SPOTLIGHT_BUILD_DIR
    candidates.push_back(fs::path(VARDELLE_SPOTLIGHT_BUILD_DIR) / fileName);
#endif
    for (const auto& p : candidates) {
        if (isFile(p)) {
            std::error_code ec;
            const fs::path canonical = fs::weakly_canonical(p, ec);
            return ec ? p.string() : canonical.string();
        }
    }
    return {};
}

std::unique_ptr<VDLPlugInModule> VDLPlugInModule::load(const std::string& path, std::string* error) {
    // The module stays mapped after dlclose: code of a plug-in may still be referenced by
    // library caches (fonts, number formats) until the process ends.
    void* handle = path.empty() ? nullptr : dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        if (error) {
            const char* why = path.empty() ? nullptr : dlerror();
            *error = path.empty() ? std::string("plug-in not found") : std::string(why ? why : "cannot load plug-in");
        }
        return nullptr;
    }
    std::unique_ptr<VDLPlugInModule> module(new VDLPlugInModule(handle, path));
    if (!module->symbol(VDL_PLUGIN_FACTORIES_SYMBOL)) {
        if (error) *error = path + ": not a plug-in (no " VDL_PLUGIN_FACTORIES_SYMBOL ")";
        return nullptr;
    }
    return module;
}

VDLPlugInModule::~VDLPlugInModule() {
    if (handle_) dlclose(handle_);
}

void* VDLPlugInModule::symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

const VDLPlugInFactoryEntry* VDLPlugInModule::factoryForType(const VDLUUIDBytes& type) const {
    auto* entries = static_cast<const VDLPlugInFactoryEntry*>(symbol(VDL_PLUGIN_FACTORIES_SYMBOL));
    if (!entries) return nullptr;
    for (size_t i = 0; i < 64 && entries[i].factoryUUID; ++i) {
        VDLUUIDBytes t;
        if (VDLUUIDFromString(entries[i].typeUUID, &t) && VDLUUIDEqual(&t, &type)) return &entries[i];
    }
    return nullptr;
}

void* VDLPlugInModule::createInstance(const VDLUUIDBytes& type, std::string* error) const {
    const VDLPlugInFactoryEntry* entry = factoryForType(type);
    if (!entry || !entry->functionName) {
        if (error) *error = path_ + ": no factory for this plug-in type";
        return nullptr;
    }
    auto factory = reinterpret_cast<VDLPlugInFactoryFunction>(symbol(entry->functionName));
    if (!factory) {
        if (error) *error = path_ + ": factory " + entry->functionName + " is missing";
        return nullptr;
    }
    void* instance = factory(nullptr, &type);
    if (!instance && error) *error = path_ + ": the factory made no instance";
    return instance;
}

uint32_t VDLPlugInModule::instanceCount() const {
    auto count = reinterpret_cast<VDLPlugInInstanceCountFunction>(symbol(VDL_PLUGIN_INSTANCE_COUNT_SYMBOL));
    return count ? count() : 0;
}

void* VDLQueryInterface(void* instance, const VDLUUIDBytes& iid) {
    const VDLIUnknownVTbl* table = vtable(instance);
    if (!table || !table->QueryInterface) return nullptr;
    void* out = nullptr;
    if (table->QueryInterface(instance, iid, &out) != VDL_S_OK) return nullptr;
    return out;
}

void VDLReleaseInstance(void* instance) {
    const VDLIUnknownVTbl* table = vtable(instance);
    if (table && table->Release) table->Release(instance);
}
