/*
 * The desktop search indexer as a metadata importer plug-in sees it: the importer type and
 * interface, the importer entry, and the attribute dictionary the indexer hands in.
 */
#ifndef VDL_SPOTLIGHT_H
#define VDL_SPOTLIGHT_H

#include "VDLPlugInCOM.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The attribute dictionary: numeric attributes by key, in the order they were first set.
   A plain value that host and plug-in share without allocation. */
#define VDL_MD_ATTRIBUTES_CAPACITY 32
#define VDL_MD_KEY_CAPACITY 64

typedef struct VDLMDAttribute {
    char key[VDL_MD_KEY_CAPACITY];
    double value;
} VDLMDAttribute;

typedef struct VDLMDAttributes {
    uint32_t count;
    VDLMDAttribute entries[VDL_MD_ATTRIBUTES_CAPACITY];
} VDLMDAttributes;

/* The value of KEY, or NULL when it is not set. */
static inline const double* VDLMDAttributesGetNumber(const VDLMDAttributes* attributes, const char* key) {
    if (!attributes || !key) return NULL;
    uint32_t n = attributes->count < VDL_MD_ATTRIBUTES_CAPACITY ? attributes->count : VDL_MD_ATTRIBUTES_CAPACITY;
    for (uint32_t i = 0; i < n; ++i)
        if (strncmp(attributes->entries[i].key, key, VDL_MD_KEY_CAPACITY) == 0) return &attributes->entries[i].value;
    return NULL;
}

/* Sets KEY to VALUE, replacing an earlier value. False when the key is too long or the
   dictionary is full. */
static inline bool VDLMDAttributesSetNumber(VDLMDAttributes* attributes, const char* key, double value) {
    if (!attributes || !key || strlen(key) >= VDL_MD_KEY_CAPACITY) return false;
    double* existing = (double*)VDLMDAttributesGetNumber(attributes, key);
    if (existing) {
        *existing = value;
        return true;
    }
    if (attributes->count >= VDL_MD_ATTRIBUTES_CAPACITY) return false;
    VDLMDAttribute* entry = &attributes->entries[attributes->count++];
    memset(entry->key, 0, sizeof entry->key);
    memcpy(entry->key, key, strlen(key));
    entry->value = value;
    return true;
}

/* The importer's function table: the base interface, then the import entry. It returns
   whether it filled the attributes. */
typedef struct VDLMDImporterInterfaceStruct {
    VDL_IUNKNOWN_C_GUTS;
    bool (*ImporterImportData)(void* thisInterface, VDLMDAttributes* attributes, const char* contentTypeUTI,
                               const char* pathToFile);
} VDLMDImporterInterfaceStruct;

/* The metadata importer plug-in type: 8B08C4BF-415B-11D8-B3F9-0003936726FC. */
static const VDLUUIDBytes kVDLMDImporterTypeID = {
    {0x8B, 0x08, 0xC4, 0xBF, 0x41, 0x5B, 0x11, 0xD8, 0xB3, 0xF9, 0x00, 0x03, 0x93, 0x67, 0x26, 0xFC}};
/* The importer interface: 6EBC27C4-899C-11D8-84A3-0003936726FC. */
static const VDLUUIDBytes kVDLMDImporterInterfaceID = {
    {0x6E, 0xBC, 0x27, 0xC4, 0x89, 0x9C, 0x11, 0xD8, 0x84, 0xA3, 0x00, 0x03, 0x93, 0x67, 0x26, 0xFC}};

/* Vardelle's importer and the attributes it reports (floating-point numbers). */
#define VARDELLE_SPOTLIGHT_FACTORY_UUID "B2E66F76-EFCA-4180-A536-1D66D53EDFB2"
#define VARDELLE_SPOTLIGHT_LIBRARY "VardelleSpotlight.so"
#define kVardelleEmbroideryWidth "vardelle_embroidery_width"       /* millimetres */
#define kVardelleEmbroideryHeight "vardelle_embroidery_height"     /* millimetres */
#define kVardelleEmbroideryStitches "vardelle_embroidery_stitches"
#define kVardelleEmbroideryColors "vardelle_embroidery_colors"     /* different colours */

#ifdef __cplusplus
}
#endif

#endif /* VDL_SPOTLIGHT_H */
