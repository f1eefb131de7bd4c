#include "VDLGeometry.h"

std::string VDLURL::pathExtension() const {
    const std::string name = lastPathComponent();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) return {};
    return name.substr(dot + 1);
}

VDLURL VDLURL::URLByDeletingPathExtension() const {
    const std::string ext = pathExtension();
    if (ext.empty()) return *this;
    std::string p = path_.string();
    return VDLURL(std::filesystem::path(p.substr(0, p.size() - ext.size() - 1)));
}

VDLURL VDLURL::URLByAppendingPathExtension(const std::string& ext) const {
    return VDLURL(std::filesystem::path(path_.string() + "." + ext));
}
