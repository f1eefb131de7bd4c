// Placeholder until this format is built: reading answers "unknown format", writing refuses.
#include "VDLDesign.h"

bool VDLDesign::importDesignFromURL(const VDLURL& url, VDLError* error) {
    designName_ = url.lastPathComponent();
    designLocation_ = url;
    threads_.clear();
    stitches_.clear();
    return VDLDesignError(error, 10, "Unknown file format (UTI).");
}
bool VDLDesign::exportDesignToURL(const VDLURL&, VDLError* error) { return VDLDesignError(error, 50, "Unsupported file format (UTI) for export."); }
bool VDLDesign::checkHoopForVendor(const std::string&, const char*, const char* unsupported, VDLError* error) { return VDLDesignError(error, 51, unsupported); }
