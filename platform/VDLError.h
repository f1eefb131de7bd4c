#pragma once
#include <cstdint>
#include <map>
#include <string>

// Error object: domain, code and a user-info map. Model errors carry their message under the
// recovery-suggestion key; file-system errors come back in the "posix" domain with errno.
extern const char* const VDLDesignErrorDomain;          // "vardelle.vdldesign.ErrorDomain"
extern const char* const VDLPOSIXErrorDomain;           // "posix"
extern const char* const VDLLocalizedRecoverySuggestionErrorKey;
extern const char* const VDLLocalizedFailureReasonErrorKey;
extern const char* const VDLLocalizedDescriptionKey;

struct VDLError {
    std::string domain;
    int64_t code = 0;
    std::map<std::string, std::string> userInfo;

    std::string localizedRecoverySuggestion() const { return value(VDLLocalizedRecoverySuggestionErrorKey); }
    std::string localizedFailureReason() const { return value(VDLLocalizedFailureReasonErrorKey); }
    // The one text to show: the recovery suggestion, else the failure reason, else the description.
    std::string message() const;
    std::string description() const;

private:
    std::string value(const char* key) const {
        auto it = userInfo.find(key);
        return it == userInfo.end() ? std::string() : it->second;
    }
};

// Fills the optional out-parameter; always returns false so a failure path reads
// `return VDLSetError(error, ...);`.
bool VDLSetError(VDLError* out, VDLError err);

// A model error: code N with the localized message "ERROR_N" of table "VDLDesign", the given
// English default, under the recovery-suggestion key (or the failure-reason key when asked).
bool VDLDesignError(VDLError* out, int64_t code, const char* englishDefault, bool asFailureReason = false);

// A file-system error for errno `err` (domain "posix").
bool VDLPOSIXError(VDLError* out, int err, const std::string& path = {});
