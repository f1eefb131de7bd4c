/*
 * The plug-in object model shared by the preview and the metadata plug-ins and their hosts.
 *
 * A plug-in is a shared object. It describes itself in an exported table of factories
 * (VDLPlugInFactories: which factory function makes instances of which plug-in type), the
 * host calls a factory with the type it wants, and talks to the instance through interfaces
 * in the usual COM layout: an instance is a record whose first field points to a function
 * table that begins with the reserved slot, QueryInterface, AddRef and Release.
 *
 * Plain C, so that host and plug-in agree on the layout whatever they are built with.
 */
#ifndef VDL_PLUGIN_COM_H
#define VDL_PLUGIN_COM_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A type, interface or factory identifier: the 16 bytes of a UUID in text order. */
typedef struct VDLUUIDBytes {
    uint8_t byte[16];
} VDLUUIDBytes;

typedef const VDLUUIDBytes* VDLUUIDRef; /* a type or factory identifier handed to a factory */
typedef VDLUUIDBytes VDLREFIID;         /* an interface identifier, passed by value */
typedef int32_t VDLHRESULT;
typedef uint32_t VDLULONG;
typedef void* VDLLPVOID;

#define VDL_S_OK ((VDLHRESULT)0)
#define VDL_E_NOINTERFACE ((VDLHRESULT)0x80000004)

/* The first four slots of every interface's function table. */
#define VDL_IUNKNOWN_C_GUTS                                                      \
    void* _reserved;                                                             \
    VDLHRESULT (*QueryInterface)(void* thisPointer, VDLREFIID iid, VDLLPVOID* ppv); \
    VDLULONG (*AddRef)(void* thisPointer);                                       \
    VDLULONG (*Release)(void* thisPointer)

typedef struct VDLIUnknownVTbl {
    VDL_IUNKNOWN_C_GUTS;
} VDLIUnknownVTbl;

/* The base interface every instance answers to: 00000000-0000-0000-C000-000000000046. */
static const VDLUUIDBytes kVDLIUnknownUUID = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

/* A factory: makes an instance of TYPEID (referenced once) or answers NULL for other types.
   The allocator is the host's and may be NULL. */
typedef void* (*VDLPlugInFactoryFunction)(const void* allocator, VDLUUIDRef typeID);

/* The registration data a plug-in exports as VDLPlugInFactories: one entry per factory, ended
   by an entry whose factoryUUID is NULL. UUIDs are in text form. */
typedef struct VDLPlugInFactoryEntry {
    const char* factoryUUID;
    const char* functionName; /* the exported factory function */
    const char* typeUUID;     /* the plug-in type its instances implement */
} VDLPlugInFactoryEntry;

#define VDL_PLUGIN_FACTORIES_SYMBOL "VDLPlugInFactories"

/* Exported by every plug-in as VDLPlugInInstanceCount: the instances alive in the module.
   A host unloads a plug-in only when none is left. */
typedef uint32_t (*VDLPlugInInstanceCountFunction)(void);
#define VDL_PLUGIN_INSTANCE_COUNT_SYMBOL "VDLPlugInInstanceCount"

static inline bool VDLUUIDEqual(const VDLUUIDBytes* a, const VDLUUIDBytes* b) {
    return a && b && memcmp(a->byte, b->byte, sizeof a->byte) == 0;
}

static inline int VDLHexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/* Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (either case). False for anything else. */
static inline bool VDLUUIDFromString(const char* text, VDLUUIDBytes* out) {
    if (!text || !out || strlen(text) != 36) return false;
    VDLUUIDBytes u;
    int n = 0;
    for (int i = 0; i < 36; ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-') return false;
            continue;
        }
        int hi = VDLHexDigitValue(text[i]);
        int lo = i + 1 < 36 ? VDLHexDigitValue(text[i + 1]) : -1;
        if (hi < 0 || lo < 0) return false;
        u.byte[n++] = (uint8_t)(hi * 16 + lo);
        ++i;
    }
    *out = u;
    return true;
}

#ifdef __cplusplus
}
#endif

#endif /* VDL_PLUGIN_COM_H */
