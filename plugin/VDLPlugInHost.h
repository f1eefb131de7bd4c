#pragma once
// The host side of the plug-ins: finding a plug-in module, loading it, and making an instance
// through the factory its registration data names for a plug-in type.
#include "VDLPlugInCOM.h"

#include <memory>
#include <string>

// The path of plug-in FILENAME ("VardelleQuickLook.so"): in $VARDELLE_PLUGIN_DIR when set,
// else beside the running executable, in ../lib/vardelle beside it, or in the build tree.
// "" when none of these holds it.
std::string VDLFindPlugIn(const std::string& fileName);

class VDLPlugInModule {
public:
    // Loads the module at PATH; none with a message in ERROR when it cannot be loaded or does
    // not describe itself.
    static std::unique_ptr<VDLPlugInModule> load(const std::string& path, std::string* error = nullptr);
    ~VDLPlugInModule();
    VDLPlugInModule(const VDLPlugInModule&) = delete;
    VDLPlugInModule& operator=(const VDLPlugInModule&) = delete;

    const std::string& path() const { return path_; }
    void* symbol(const char* name) const;
    // The factory entry the module registers for TYPE, or none.
    const VDLPlugInFactoryEntry* factoryForType(const VDLUUIDBytes& type) const;
    // An instance of TYPE (holding one reference) made by that factory; nullptr with ERROR
    // filled when the module has no factory for it or the factory declines.
    void* createInstance(const VDLUUIDBytes& type, std::string* error = nullptr) const;
    // The instances alive in the module.
    uint32_t instanceCount() const;

private:
    VDLPlugInModule(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}
    void* handle_;
    std::string path_;
};

// The interface IID of INSTANCE (a new reference) through its QueryInterface; nullptr when
// the instance does not answer to it.
void* VDLQueryInterface(void* instance, const VDLUUIDBytes& iid);
// Drops one reference of a COM-style instance or interface pointer.
void VDLReleaseInstance(void* instance);
