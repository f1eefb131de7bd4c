#pragma once
// Where the KDE plug-ins find our preview and metadata plug-ins.
#include <string>

// The folder named by VARDELLE_PLUGIN_DIR wins (the hosts' usual lookup, given ""); otherwise
// FILE in the package's installed plug-in folder when it is there; otherwise "" (the usual
// lookup: beside the program, then the build tree).
std::string VDLKdePlugInPath(const char* file);
