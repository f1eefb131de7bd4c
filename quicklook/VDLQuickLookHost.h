#pragma once
// The host side of the preview plug-in: loads the generator through its factory and runs
// thumbnail and preview requests into contexts the caller makes.
#include "VDLCairoContext.h"
#include "VDLPlugInHost.h"
#include "VDLQuickLook.h"

#include <functional>
#include <memory>
#include <string>

// What became of one request.
struct VDLQLRequestResult {
    bool contextCreated = false;  // the generator asked for a context and got one
    VDLQLSize size{0, 0};         // the size it asked for
    bool flushed = false;         // it handed the drawing back
    bool released = false;        // it gave the context up
    bool painted = false;         // it drew anything at all (an empty result otherwise)
};

class VDLQuickLookGenerator {
public:
    // Makes the context for a request of SIZE points (user space Y-up, SIZE large); the caller
    // keeps ownership. nullptr declines the request.
    using ContextFactory = std::function<VDLGraphicsContext*(VDLQLSize size)>;

    // The generator in the plug-in module at PATH ("" finds VardelleQuickLook.so the usual way).
    static std::unique_ptr<VDLQuickLookGenerator> load(const std::string& path = {}, std::string* error = nullptr);
    ~VDLQuickLookGenerator();
    VDLQuickLookGenerator(const VDLQuickLookGenerator&) = delete;
    VDLQuickLookGenerator& operator=(const VDLQuickLookGenerator&) = delete;

    const VDLPlugInModule& module() const { return *module_; }

    // URL is a file URL or a path. The generator's own status is not reported: it answers
    // success in every case.
    VDLQLRequestResult generateThumbnail(const std::string& url, const ContextFactory& contextFor);
    VDLQLRequestResult generatePreview(const std::string& url, const ContextFactory& contextFor);

    // The thumbnail as a PIXELS x PIXELS image (the generator's square scaled to it), or none
    // when nothing was drawn (a file that does not import).
    std::unique_ptr<VDLCairoContext> thumbnailImage(const std::string& url, int pixels);
    // The preview page as a picture of KIND (an image, PDF or SVG) on white, at its own size in
    // points (pixels for an image), or none when nothing was drawn.
    std::unique_ptr<VDLCairoContext> previewDocument(const std::string& url, VDLCairoContext::Kind kind);

private:
    VDLQuickLookGenerator(std::unique_ptr<VDLPlugInModule> module, void* instance, void* iface)
        : module_(std::move(module)), instance_(instance), interface_(iface) {}
    const VDLQLGeneratorInterfaceStruct* table() const;

    std::unique_ptr<VDLPlugInModule> module_;
    void* instance_;   // the factory's reference
    void* interface_;  // the callbacks interface's reference
};
