#pragma once
// What a plug-in module keeps for its host: the instances alive in it, so the host knows when
// the module may be unloaded (exported as VDLPlugInInstanceCount).
#include "VDLPlugInCOM.h"

#define VDL_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

void VDLPlugInAddInstanceForFactory(const VDLUUIDBytes& factoryID);
void VDLPlugInRemoveInstanceForFactory(const VDLUUIDBytes& factoryID);

VDL_PLUGIN_EXPORT uint32_t VDLPlugInInstanceCount(void);
