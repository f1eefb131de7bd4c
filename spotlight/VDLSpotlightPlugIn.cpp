// The metadata importer plug-in: factory, instance record, reference counting, and the import
// entry that reports a design's size, stitch count and colour count.
#include "VDLDesign.h"
#include "VDLPlugInInstances.h"
#include "VDLSpotlight.h"

#include <cstdlib>
#include <memory>
#include <new>

VDL_PLUGIN_EXPORT void* MetadataImporterPluginFactory(const void* allocator, VDLUUIDRef typeID);
VDL_PLUGIN_EXPORT VDLHRESULT MetadataImporterQueryInterface(void* thisInstance, VDLREFIID iid, VDLLPVOID* ppv);
VDL_PLUGIN_EXPORT VDLULONG MetadataImporterPluginAddRef(void* thisInstance);
VDL_PLUGIN_EXPORT VDLULONG MetadataImporterPluginRelease(void* thisInstance);
VDL_PLUGIN_EXPORT bool GetMetadataForFile(void* thisInterface, VDLMDAttributes* attributes,
                                          const char* contentTypeUTI, const char* pathToFile);

namespace {

// One instance: the function table, the factory that made it, and the reference count.
struct MetadataImporterPluginType {
    VDLMDImporterInterfaceStruct* conduitInterface;
    VDLUUIDBytes factoryID;
    uint32_t refCount;
};

VDLHRESULT queryInterfaceEntry(void* i, VDLREFIID iid, VDLLPVOID* ppv) {
    return MetadataImporterQueryInterface(i, iid, ppv);
}
VDLULONG addRefEntry(void* i) { return MetadataImporterPluginAddRef(i); }
VDLULONG releaseEntry(void* i) { return MetadataImporterPluginRelease(i); }

const VDLMDImporterInterfaceStruct kImporterInterfaceTemplate = {
    nullptr, queryInterfaceEntry, addRefEntry, releaseEntry, GetMetadataForFile,
};

MetadataImporterPluginType* AllocMetadataImporterPluginType(const VDLUUIDBytes& factoryID) {
    auto* instance = static_cast<MetadataImporterPluginType*>(std::malloc(sizeof(MetadataImporterPluginType)));
    auto* table = static_cast<VDLMDImporterInterfaceStruct*>(std::malloc(sizeof(VDLMDImporterInterfaceStruct)));
    if (!instance || !table) {
        std::free(instance);
        std::free(table);
        return nullptr;
    }
    *table = kImporterInterfaceTemplate;
    instance->conduitInterface = table;
    instance->factoryID = factoryID;
    instance->refCount = 1;
    VDLPlugInAddInstanceForFactory(factoryID);
    return instance;
}

void DeallocMetadataImporterPluginType(MetadataImporterPluginType* instance) {
    const VDLUUIDBytes factoryID = instance->factoryID;
    std::free(instance->conduitInterface);
    std::free(instance);
    VDLPlugInRemoveInstanceForFactory(factoryID);
}

bool importMetadata(VDLMDAttributes* attributes, const char* pathToFile) {
    if (!attributes || !pathToFile) return false;
    auto design = std::make_unique<VDLDesign>();
    if (!design->importDesignFromURL(VDLURL::fileURLWithPath(pathToFile))) return false;
    // Work on a copy so that a dictionary too full for all four is left as it was.
    VDLMDAttributes filled = *attributes;
    const bool ok = VDLMDAttributesSetNumber(&filled, kVardelleEmbroideryWidth, design->designWidth() / 10.0) &&
                    VDLMDAttributesSetNumber(&filled, kVardelleEmbroideryHeight, design->designHeight() / 10.0) &&
                    VDLMDAttributesSetNumber(&filled, kVardelleEmbroideryStitches, double(design->numberOfStitches())) &&
                    VDLMDAttributesSetNumber(&filled, kVardelleEmbroideryColors,
                                             double(design->numberOfDifferentColors()));
    if (!ok) return false;
    *attributes = filled;
    return true;
}

}  // namespace

VDL_PLUGIN_EXPORT const VDLPlugInFactoryEntry VDLPlugInFactories[] = {
    {VARDELLE_SPOTLIGHT_FACTORY_UUID, "MetadataImporterPluginFactory", "8B08C4BF-415B-11D8-B3F9-0003936726FC"},
    {nullptr, nullptr, nullptr},
};

VDL_PLUGIN_EXPORT void* MetadataImporterPluginFactory(const void* /*allocator*/, VDLUUIDRef typeID) {
    if (!VDLUUIDEqual(typeID, &kVDLMDImporterTypeID)) return nullptr;
    VDLUUIDBytes factoryID;
    if (!VDLUUIDFromString(VARDELLE_SPOTLIGHT_FACTORY_UUID, &factoryID)) return nullptr;
    return AllocMetadataImporterPluginType(factoryID);
}

VDL_PLUGIN_EXPORT VDLHRESULT MetadataImporterQueryInterface(void* thisInstance, VDLREFIID iid, VDLLPVOID* ppv) {
    auto* instance = static_cast<MetadataImporterPluginType*>(thisInstance);
    if (instance && (VDLUUIDEqual(&iid, &kVDLMDImporterInterfaceID) || VDLUUIDEqual(&iid, &kVDLIUnknownUUID))) {
        instance->conduitInterface->AddRef(instance);
        if (ppv) *ppv = instance;
        return VDL_S_OK;
    }
    if (ppv) *ppv = nullptr;
    return VDL_E_NOINTERFACE;
}

VDL_PLUGIN_EXPORT VDLULONG MetadataImporterPluginAddRef(void* thisInstance) {
    auto* instance = static_cast<MetadataImporterPluginType*>(thisInstance);
    if (!instance) return 0;
    return __atomic_add_fetch(&instance->refCount, 1, __ATOMIC_ACQ_REL);
}

VDL_PLUGIN_EXPORT VDLULONG MetadataImporterPluginRelease(void* thisInstance) {
    auto* instance = static_cast<MetadataImporterPluginType*>(thisInstance);
    if (!instance) return 0;
    const uint32_t left = __atomic_sub_fetch(&instance->refCount, 1, __ATOMIC_ACQ_REL);
    if (left == 0) {
        DeallocMetadataImporterPluginType(instance);
        return 0;
    }
    return left;
}

VDL_PLUGIN_EXPORT bool GetMetadataForFile(void* /*thisInterface*/, VDLMDAttributes* attributes,
                                          const char* /*contentTypeUTI*/, const char* pathToFile) {
    try {
        return importMetadata(attributes, pathToFile);
    } catch (...) {
        return false;  // nothing may escape into the indexer
    }
}
