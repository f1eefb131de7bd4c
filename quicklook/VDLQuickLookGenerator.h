#pragma once
// The generator plug-in's entry points and the helpers its two drawings share.
#include "VDLPlugInInstances.h"
#include "VDLQuickLook.h"

#include <string>

VDL_PLUGIN_EXPORT void* QuickLookGeneratorPluginFactory(const void* allocator, VDLUUIDRef typeID);
VDL_PLUGIN_EXPORT VDLHRESULT QuickLookGeneratorQueryInterface(void* thisInstance, VDLREFIID iid, VDLLPVOID* ppv);
VDL_PLUGIN_EXPORT VDLULONG QuickLookGeneratorPluginAddRef(void* thisInstance);
VDL_PLUGIN_EXPORT VDLULONG QuickLookGeneratorPluginRelease(void* thisInstance);

VDL_PLUGIN_EXPORT VDLOSStatus GenerateThumbnailForURL(void* thisInterface, VDLQLThumbnailRequestRef thumbnail,
                                                      const char* url, const char* contentTypeUTI,
                                                      VDLQLOptionsRef options, VDLQLSize maxSize);
VDL_PLUGIN_EXPORT void CancelThumbnailGeneration(void* thisInterface, VDLQLThumbnailRequestRef thumbnail);
VDL_PLUGIN_EXPORT VDLOSStatus GeneratePreviewForURL(void* thisInterface, VDLQLPreviewRequestRef preview,
                                                    const char* url, const char* contentTypeUTI,
                                                    VDLQLOptionsRef options);
VDL_PLUGIN_EXPORT void CancelPreviewGeneration(void* thisInterface, VDLQLPreviewRequestRef preview);

// The local path of a file URL ("file:///a%20b" or "file://localhost/a%20b" gives "/a b"); a
// text without a scheme is taken as a path; "" for other schemes and malformed escapes.
std::string VDLQLPathFromURL(const char* url);

// The scale that fits a design of W x H units into AREAW x AREAH with a margin (the design
// fills 1 / 1.05 of the area along its tighter side). An extent of 0 (a design that is a
// line or a single point) counts as one unit.
double VDLQLFitFactor(double areaW, double areaH, double w, double h);

// Hands CONTEXT back to the request when it goes out of scope: flushed, then released.
class VDLQLContextLease {
public:
    VDLQLContextLease(VDLQLRequest* request, VDLQLSize size);
    ~VDLQLContextLease();
    VDLQLContextLease(const VDLQLContextLease&) = delete;
    VDLQLContextLease& operator=(const VDLQLContextLease&) = delete;
    VDLGraphicsContext* context() const { return context_; }

private:
    VDLQLRequest* request_;
    VDLGraphicsContext* context_ = nullptr;
};
