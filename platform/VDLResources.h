#pragma once
#include <string>

// The resource directory: $VARDELLE_RESOURCES when set, else ../share/vardelle beside the
// executable or plug-in that holds this code, else the source tree's resources/ folder.
std::string VDLResourceDirectory();

// Path of resource NAME.TYPE inside SUBDIR of the resource directory; "" when it does not exist.
std::string VDLPathForResource(const std::string& name, const std::string& type, const std::string& subdir = {});
