#include "VDLError.h"
#include "VDLLocalization.h"

#include <cstring>

const char* const VDLDesignErrorDomain = "vardelle.vdldesign.ErrorDomain";
const char* const VDLPOSIXErrorDomain = "posix";
const char* const VDLLocalizedRecoverySuggestionErrorKey = "NSLocalizedRecoverySuggestion";
const char* const VDLLocalizedFailureReasonErrorKey = "NSLocalizedFailureReason";
const char* const VDLLocalizedDescriptionKey = "NSLocalizedDescription";

std::string VDLError::message() const {
    for (const char* key : {VDLLocalizedRecoverySuggestionErrorKey, VDLLocalizedFailureReasonErrorKey,
                            VDLLocalizedDescriptionKey}) {
        std::string v = value(key);
        if (!v.empty()) return v;
    }
    return "Error " + std::to_string(code) + " in domain " + domain;
}

std::string VDLError::description() const {
    return "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" + message() + "\"";
}

bool VDLSetError(VDLError* out, VDLError err) {
    if (out) *out = std::move(err);
    return false;
}

bool VDLDesignError(VDLError* out, int64_t code, const char* englishDefault, bool asFailureReason) {
    if (!out) return false;  // nothing is made when nobody asked for it
    VDLError e;
    e.domain = VDLDesignErrorDomain;
    e.code = code;
    const std::string key = "ERROR_" + std::to_string(code);
    e.userInfo[asFailureReason ? VDLLocalizedFailureReasonErrorKey : VDLLocalizedRecoverySuggestionErrorKey] =
        VDLLocalizedString(key, "VDLDesign", englishDefault);
    *out = std::move(e);
    return false;
}

bool VDLPOSIXError(VDLError* out, int err, const std::string& path) {
    if (!out) return false;
    VDLError e;
    e.domain = VDLPOSIXErrorDomain;
    e.code = err;
    std::string text = std::strerror(err);
    if (!path.empty()) text = path + ": " + text;
    e.userInfo[VDLLocalizedDescriptionKey] = text;
    *out = std::move(e);
    return false;
}
