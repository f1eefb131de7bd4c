// The generator plug-in object: factory, instance record, reference counting and the
// callbacks interface.
#include "VDLPlugInInstances.h"
#include "VDLQuickLookGenerator.h"

#include <cstdlib>
#include <new>

namespace {

// One instance: the function table, the factory that made it, and the reference count.
struct QuickLookGeneratorPluginType {
    VDLQLGeneratorInterfaceStruct* conduitInterface;
    VDLUUIDBytes factoryID;
    uint32_t refCount;
};

VDLHRESULT queryInterfaceEntry(void* thisInstance, VDLREFIID iid, VDLLPVOID* ppv);
VDLULONG addRefEntry(void* thisInstance);
VDLULONG releaseEntry(void* thisInstance);

// The table as an instance starts with it: the generator entries are filled in when the
// callbacks interface is asked for.
const VDLQLGeneratorInterfaceStruct kGeneratorInterfaceTemplate = {
    nullptr, queryInterfaceEntry, addRefEntry, releaseEntry, nullptr, nullptr, nullptr, nullptr,
};

QuickLookGeneratorPluginType* AllocQuickLookGeneratorPluginType(const VDLUUIDBytes& factoryID) {
    auto* instance = static_cast<QuickLookGeneratorPluginType*>(std::malloc(sizeof(QuickLookGeneratorPluginType)));
    auto* table = static_cast<VDLQLGeneratorInterfaceStruct*>(std::malloc(sizeof(VDLQLGeneratorInterfaceStruct)));
    if (!instance || !table) {
        std::free(instance);
        std::free(table);
        return nullptr;
    }
    *table = kGeneratorInterfaceTemplate;
    instance->conduitInterface = table;
    instance->factoryID = factoryID;
    instance->refCount = 1;
    VDLPlugInAddInstanceForFactory(factoryID);
    return instance;
}

void DeallocQuickLookGeneratorPluginType(QuickLookGeneratorPluginType* instance) {
    const VDLUUIDBytes factoryID = instance->factoryID;
    std::free(instance->conduitInterface);
    std::free(instance);
    VDLPlugInRemoveInstanceForFactory(factoryID);
}

VDLHRESULT queryInterfaceEntry(void* thisInstance, VDLREFIID iid, VDLLPVOID* ppv) {
    return QuickLookGeneratorQueryInterface(thisInstance, iid, ppv);
}
VDLULONG addRefEntry(void* thisInstance) { return QuickLookGeneratorPluginAddRef(thisInstance); }
VDLULONG releaseEntry(void* thisInstance) { return QuickLookGeneratorPluginRelease(thisInstance); }

}  // namespace

VDL_PLUGIN_EXPORT const VDLPlugInFactoryEntry VDLPlugInFactories[] = {
    {VARDELLE_QUICKLOOK_FACTORY_UUID, "QuickLookGeneratorPluginFactory", "5E2D9680-5022-40FA-B806-43349622E5B9"},
    {nullptr, nullptr, nullptr},
};

VDL_PLUGIN_EXPORT void* QuickLookGeneratorPluginFactory(const void* /*allocator*/, VDLUUIDRef typeID) {
    if (!VDLUUIDEqual(typeID, &kVDLQLGeneratorTypeID)) return nullptr;
    VDLUUIDBytes factoryID;
    if (!VDLUUIDFromString(VARDELLE_QUICKLOOK_FACTORY_UUID, &factoryID)) return nullptr;
    return AllocQuickLookGeneratorPluginType(factoryID);
}

VDL_PLUGIN_EXPORT VDLHRESULT QuickLookGeneratorQueryInterface(void* thisInstance, VDLREFIID iid, VDLLPVOID* ppv) {
    auto* instance = static_cast<QuickLookGeneratorPluginType*>(thisInstance);
    if (instance && VDLUUIDEqual(&iid, &kVDLQLGeneratorCallbacksInterfaceID)) {
        VDLQLGeneratorInterfaceStruct* table = instance->conduitInterface;
        table->GenerateThumbnailForURL = GenerateThumbnailForURL;
        table->CancelThumbnailGeneration = CancelThumbnailGeneration;
        table->GeneratePreviewForURL = GeneratePreviewForURL;
        table->CancelPreviewGeneration = CancelPreviewGeneration;
        table->AddRef(instance);
        if (ppv) *ppv = instance;
        return VDL_S_OK;
    }
    if (ppv) *ppv = nullptr;
    return VDL_E_NOINTERFACE;
}

VDL_PLUGIN_EXPORT VDLULONG QuickLookGeneratorPluginAddRef(void* thisInstance) {
    auto* instance = static_cast<QuickLookGeneratorPluginType*>(thisInstance);
    if (!instance) return 0;
    return __atomic_add_fetch(&instance->refCount, 1, __ATOMIC_ACQ_REL);
}

VDL_PLUGIN_EXPORT VDLULONG QuickLookGeneratorPluginRelease(void* thisInstance) {
    auto* instance = static_cast<QuickLookGeneratorPluginType*>(thisInstance);
    if (!instance) return 0;
    const uint32_t left = __atomic_sub_fetch(&instance->refCount, 1, __ATOMIC_ACQ_REL);
    if (left == 0) {
        DeallocQuickLookGeneratorPluginType(instance);
        return 0;
    }
    return left;
}
