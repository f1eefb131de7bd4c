/*
 * The file-preview service as a generator plug-in sees it: the plug-in type, the callbacks
 * interface, the generator entries, and the requests through which the host hands out a
 * drawing context of a given size and takes it back.
 *
 * Drawing contexts are Vardelle graphics contexts (VDLGraphicsContext): user space is
 * width x height points with the origin at the lower left and Y growing upwards.
 */
#ifndef VDL_QUICKLOOK_H
#define VDL_QUICKLOOK_H

#include "VDLPlugInCOM.h"

#ifdef __cplusplus
class VDLGraphicsContext;
typedef VDLGraphicsContext* VDLGraphicsContextRef;
extern "C" {
#else
typedef struct VDLGraphicsContext* VDLGraphicsContextRef;
#endif

typedef int32_t VDLOSStatus;

typedef struct VDLQLSize {
    double width;
    double height;
} VDLQLSize;

/* A thumbnail or preview request. The host fills the callbacks and keeps its own data in
   hostData; the generator asks for a context, draws, flushes it and releases it. */
typedef struct VDLQLRequest VDLQLRequest;
struct VDLQLRequest {
    void* hostData;
    /* A context of SIZE points, or NULL when the host cannot make one. A bitmap context is
       a request for pixels; otherwise the host may record vector drawing. */
    VDLGraphicsContextRef (*createContext)(VDLQLRequest* request, VDLQLSize size, bool isBitmap);
    /* The drawing in CONTEXT is complete: the host takes it as the result. */
    void (*flushContext)(VDLQLRequest* request, VDLGraphicsContextRef context);
    /* The generator is done with CONTEXT. */
    void (*releaseContext)(VDLQLRequest* request, VDLGraphicsContextRef context);
};
typedef VDLQLRequest* VDLQLThumbnailRequestRef;
typedef VDLQLRequest* VDLQLPreviewRequestRef;

/* The options dictionary of the service; no option is defined here and it may be NULL. */
typedef const void* VDLQLOptionsRef;

/* The generator's function table: the base interface, then the four generator entries. URLs
   are file URLs ("file:///path", percent-encoded) or plain absolute paths. */
typedef struct VDLQLGeneratorInterfaceStruct {
    VDL_IUNKNOWN_C_GUTS;
    VDLOSStatus (*GenerateThumbnailForURL)(void* thisInterface, VDLQLThumbnailRequestRef thumbnail, const char* url,
                                           const char* contentTypeUTI, VDLQLOptionsRef options, VDLQLSize maxSize);
    void (*CancelThumbnailGeneration)(void* thisInterface, VDLQLThumbnailRequestRef thumbnail);
    VDLOSStatus (*GeneratePreviewForURL)(void* thisInterface, VDLQLPreviewRequestRef preview, const char* url,
                                         const char* contentTypeUTI, VDLQLOptionsRef options);
    void (*CancelPreviewGeneration)(void* thisInterface, VDLQLPreviewRequestRef preview);
} VDLQLGeneratorInterfaceStruct;

/* The generator plug-in type: 5E2D9680-5022-40FA-B806-43349622E5B9. */
static const VDLUUIDBytes kVDLQLGeneratorTypeID = {
    {0x5E, 0x2D, 0x96, 0x80, 0x50, 0x22, 0x40, 0xFA, 0xB8, 0x06, 0x43, 0x34, 0x96, 0x22, 0xE5, 0xB9}};
/* The generator callbacks interface: 865AF5E0-6D30-4345-951B-D37105754F2D. */
static const VDLUUIDBytes kVDLQLGeneratorCallbacksInterfaceID = {
    {0x86, 0x5A, 0xF5, 0xE0, 0x6D, 0x30, 0x43, 0x45, 0x95, 0x1B, 0xD3, 0x71, 0x05, 0x75, 0x4F, 0x2D}};

/* Vardelle's generator. */
#define VARDELLE_QUICKLOOK_FACTORY_UUID "7CB200C7-749B-4A6B-91D8-7DDBAAE32043"
#define VARDELLE_QUICKLOOK_LIBRARY "VardelleQuickLook.so"

/* The thumbnail is a square of this many points; the preview page is 800 x 600. */
#define VARDELLE_QUICKLOOK_THUMBNAIL_SIZE 600.0
#define VARDELLE_QUICKLOOK_PREVIEW_WIDTH 800.0
#define VARDELLE_QUICKLOOK_PREVIEW_HEIGHT 600.0

#ifdef __cplusplus
}
#endif

#endif /* VDL_QUICKLOOK_H */
