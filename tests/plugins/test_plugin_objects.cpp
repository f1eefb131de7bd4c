// Both plug-ins as their hosts see them: loaded with dlopen, described by their registration
// data, instantiated through their factories, asked for interfaces and released.
#include "PluginTestSupport.h"
#include "VDLPlugInHost.h"
#include "VDLQuickLook.h"
#include "VDLSpotlight.h"

#include <gtest/gtest.h>


#include <cstring>

namespace {

template <typename F>
F entry(const VDLPlugInModule& module, const char* name) {
    return reinterpret_cast<F>(module.symbol(name));
}

std::string uuidText(const VDLUUIDBytes& u) {
    char buf[37];
    std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", u.byte[0],
                  u.byte[1], u.byte[2], u.byte[3], u.byte[4], u.byte[5], u.byte[6], u.byte[7], u.byte[8], u.byte[9],
                  u.byte[10], u.byte[11], u.byte[12], u.byte[13], u.byte[14], u.byte[15]);
    return buf;
}

}  // namespace

TEST(QuickLookPlugIn, FactoryQueryInterfaceAndReferenceCounting) {
    std::string error;
    auto module = VDLPlugInModule::load(kQuickLookPath, &error);
    ASSERT_TRUE(module) << error;

    // The registration data names our factory for the generator type.
    const VDLPlugInFactoryEntry* reg = module->factoryForType(kVDLQLGeneratorTypeID);
    ASSERT_NE(reg, nullptr);
    EXPECT_STREQ(reg->factoryUUID, "7CB200C7-749B-4A6B-91D8-7DDBAAE32043");
    EXPECT_STREQ(reg->functionName, "QuickLookGeneratorPluginFactory");
    EXPECT_EQ(module->factoryForType(kVDLMDImporterTypeID), nullptr);

    auto factory = entry<VDLPlugInFactoryFunction>(*module, "QuickLookGeneratorPluginFactory");
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory(nullptr, &kVDLMDImporterTypeID), nullptr);
    EXPECT_EQ(factory(nullptr, nullptr), nullptr);
    EXPECT_EQ(module->instanceCount(), 0u);

    void* instance = factory(nullptr, &kVDLQLGeneratorTypeID);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(module->instanceCount(), 1u);
    auto* table = *static_cast<VDLQLGeneratorInterfaceStruct**>(instance);
    // The record carries the factory identifier after the table pointer.
    VDLUUIDBytes factoryID;
    std::memcpy(&factoryID, static_cast<char*>(instance) + sizeof(void*), sizeof factoryID);
    EXPECT_EQ(uuidText(factoryID), VARDELLE_QUICKLOOK_FACTORY_UUID);
    // Until the callbacks interface is asked for, only the base entries are there.
    EXPECT_EQ(table->GenerateThumbnailForURL, nullptr);
    EXPECT_EQ(table->GeneratePreviewForURL, nullptr);

    // A wrong interface: cleared pointer, no-interface result, no reference added.
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(table->QueryInterface(instance, kVDLMDImporterInterfaceID, &out), VDL_E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(table->QueryInterface(instance, kVDLIUnknownUUID, &out), VDL_E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    // The callbacks interface: the instance itself with the four generator entries, one
    // more reference.
    ASSERT_EQ(table->QueryInterface(instance, kVDLQLGeneratorCallbacksInterfaceID, &out), VDL_S_OK);
    EXPECT_EQ(out, instance);
    EXPECT_EQ(reinterpret_cast<void*>(table->GenerateThumbnailForURL), module->symbol("GenerateThumbnailForURL"));
    EXPECT_EQ(reinterpret_cast<void*>(table->CancelThumbnailGeneration), module->symbol("CancelThumbnailGeneration"));
    EXPECT_EQ(reinterpret_cast<void*>(table->GeneratePreviewForURL), module->symbol("GeneratePreviewForURL"));
    EXPECT_EQ(reinterpret_cast<void*>(table->CancelPreviewGeneration), module->symbol("CancelPreviewGeneration"));

    // Without a context from the host, or without a request, the entries do nothing and
    // report success.
    VDLQLRequest declining{};
    declining.createContext = [](VDLQLRequest*, VDLQLSize, bool) -> VDLGraphicsContextRef { return nullptr; };
    const std::string sample = kSamplesDir + "/flower.dst";
    EXPECT_EQ(table->GenerateThumbnailForURL(instance, &declining, sample.c_str(), nullptr, nullptr, {600, 600}), 0);
    EXPECT_EQ(table->GeneratePreviewForURL(instance, &declining, sample.c_str(), nullptr, nullptr), 0);
    EXPECT_EQ(table->GenerateThumbnailForURL(instance, nullptr, nullptr, nullptr, nullptr, {600, 600}), 0);
    EXPECT_EQ(table->GeneratePreviewForURL(instance, nullptr, nullptr, nullptr, nullptr), 0);
    table->CancelThumbnailGeneration(instance, &declining);
    table->CancelPreviewGeneration(instance, &declining);

    // Counting: 2 after the query, 3 after AddRef, then down to 0, which frees the instance.
    EXPECT_EQ(table->AddRef(instance), 3u);
    EXPECT_EQ(table->Release(instance), 2u);
    EXPECT_EQ(table->Release(instance), 1u);
    EXPECT_EQ(module->instanceCount(), 1u);
    EXPECT_EQ(table->Release(instance), 0u);
    EXPECT_EQ(module->instanceCount(), 0u);
}

TEST(SpotlightPlugIn, FactoryQueryInterfaceAndReferenceCounting) {
    std::string error;
    auto module = VDLPlugInModule::load(kSpotlightPath, &error);
    ASSERT_TRUE(module) << error;

    const VDLPlugInFactoryEntry* reg = module->factoryForType(kVDLMDImporterTypeID);
    ASSERT_NE(reg, nullptr);
    EXPECT_STREQ(reg->factoryUUID, "B2E66F76-EFCA-4180-A536-1D66D53EDFB2");
    EXPECT_STREQ(reg->functionName, "MetadataImporterPluginFactory");
    EXPECT_EQ(module->factoryForType(kVDLQLGeneratorTypeID), nullptr);

    auto factory = entry<VDLPlugInFactoryFunction>(*module, "MetadataImporterPluginFactory");
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory(nullptr, &kVDLQLGeneratorTypeID), nullptr);

    void* instance = factory(nullptr, &kVDLMDImporterTypeID);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(module->instanceCount(), 1u);
    auto* table = *static_cast<VDLMDImporterInterfaceStruct**>(instance);
    VDLUUIDBytes factoryID;
    std::memcpy(&factoryID, static_cast<char*>(instance) + sizeof(void*), sizeof factoryID);
    EXPECT_EQ(uuidText(factoryID), VARDELLE_SPOTLIGHT_FACTORY_UUID);
    EXPECT_EQ(reinterpret_cast<void*>(table->ImporterImportData), module->symbol("GetMetadataForFile"));

    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(table->QueryInterface(instance, kVDLQLGeneratorCallbacksInterfaceID, &out), VDL_E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    // The importer interface and the base interface both answer with the instance.
    ASSERT_EQ(table->QueryInterface(instance, kVDLMDImporterInterfaceID, &out), VDL_S_OK);
    EXPECT_EQ(out, instance);
    ASSERT_EQ(table->QueryInterface(instance, kVDLIUnknownUUID, &out), VDL_S_OK);
    EXPECT_EQ(out, instance);

    EXPECT_EQ(table->Release(instance), 2u);
    EXPECT_EQ(table->Release(instance), 1u);
    EXPECT_EQ(table->Release(instance), 0u);
    EXPECT_EQ(module->instanceCount(), 0u);
}

TEST(PlugInHost, RefusesModulesThatAreNotPlugIns) {
    std::string error;
    EXPECT_FALSE(VDLPlugInModule::load("", &error));
    EXPECT_FALSE(VDLPlugInModule::load(VARDELLE_BINARY_DIR "/no-such-plugin.so", &error));
    EXPECT_FALSE(error.empty());
    // A shared object that loads but has no registration data.
    error.clear();
    EXPECT_FALSE(VDLPlugInModule::load("libm.so.6", &error));
    EXPECT_NE(error.find("not a plug-in"), std::string::npos) << error;
}
