#pragma once
#include <map>
#include <string>

// Localized strings. A lookup names a table and a key and passes the binding English default;
// translations come from optional tables resources/<lang>.lproj/<table>.strings (Apple
// .strings syntax, UTF-8). The English tables (en.lproj) hold the palette colour names.
// Lookup order: the user's language, then "en", then the default given at the call.
std::string VDLLocalizedString(const std::string& key, const std::string& table, const std::string& englishDefault);

// The user's language code ("de", "en", ...), from LANGUAGE, LC_ALL, LC_MESSAGES, LANG.
std::string VDLCurrentLanguage();
// Tests and the application may pin the language; "" returns to the environment. Clears caches.
void VDLSetLanguage(const std::string& language);
// Drops every loaded table (after resources changed).
void VDLResetLocalizationCache();

// Parses the text of a .strings table. Malformed entries are skipped.
std::map<std::string, std::string> VDLParseStringsTable(const std::string& text);
