#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The application's preferences file: $XDG_CONFIG_HOME/vardelle/vardelle.app.plist
// (~/.config/vardelle/vardelle.app.plist when XDG_CONFIG_HOME is unset). An XML property list
// whose root is a dictionary. The plug-ins read it and never write it.
std::string VDLPreferencesPath();
// The largest preferences file read: a few dozen keys and archived colours take a few
// kilobytes; anything beyond this bound is no preferences file of ours and reads as none.
inline constexpr size_t kVDLPreferencesMaxBytes = size_t(16) << 20;

// Values of the preferences file, read afresh when the file changed since the last call;
// none when the file or key is missing or of an unusable type.
std::optional<int64_t> VDLPreferenceInteger(const std::string& key);
std::optional<bool> VDLPreferenceBool(const std::string& key);
std::optional<std::string> VDLPreferenceString(const std::string& key);
std::optional<double> VDLPreferenceReal(const std::string& key);
