#include "VDLLocalization.h"
#include "VDLResources.h"

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

namespace {

std::mutex gMutex;
std::string gLanguageOverride;
// (language, table) → table contents; a missing file caches an empty table.
std::map<std::pair<std::string, std::string>, std::map<std::string, std::string>> gTables;

std::string languageFromLocaleName(std::string v) {
    auto cut = v.find_first_of("_.@-:");
    if (cut != std::string::npos) v = v.substr(0, cut);
    if (v.empty() || v == "C" || v == "POSIX") return "en";
    return v;
}

const std::map<std::string, std::string>& tableFor(const std::string& language, const std::string& table) {
    auto key = std::make_pair(language, table);
    auto it = gTables.find(key);
    if (it != gTables.end()) return it->second;
    std::map<std::string, std::string> contents;
    const std::string path = VDLPathForResource(table, "strings", language + ".lproj");
    if (!path.empty()) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        contents = VDLParseStringsTable(ss.str());
    }
    return gTables.emplace(key, std::move(contents)).first->second;
}

void skipSpaceAndComments(const std::string& s, size_t& i) {
    while (i < s.size()) {
        if (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r') {
            ++i;
        } else if (s.compare(i, 2, "/*") == 0) {
            auto end = s.find("*/", i + 2);
            i = end == std::string::npos ? s.size() : end + 2;
        } else if (s.compare(i, 2, "//") == 0) {
            auto end = s.find('\n', i);
            i = end == std::string::npos ? s.size() : end + 1;
        } else {
            break;
        }
    }
}

bool readQuoted(const std::string& s, size_t& i, std::string& out) {
    if (i >= s.size() || s[i] != '"') return false;
    ++i;
    out.clear();
    while (i < s.size() && s[i] != '"') {
        char c = s[i++];
        if (c == '\\' && i < s.size()) {
            char e = s[i++];
            switch (e) {
                case 'n': out += '\n'; break;
                case 't': out += '\t'; break;
                case 'r': out += '\r'; break;
                default: out += e; break;
            }
        } else {
            out += c;
        }
    }
    if (i >= s.size()) return false;
    ++i;
    return true;
}

}  // namespace

std::map<std::string, std::string> VDLParseStringsTable(const std::string& text) {
    std::map<std::string, std::string> result;
    size_t i = 0;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;  // UTF-8 byte-order mark
    while (i < text.size()) {
        skipSpaceAndComments(text, i);
        if (i >= text.size()) break;
        std::string key, value;
        size_t start = i;
        if (readQuoted(text, i, key)) {
            skipSpaceAndComments(text, i);
            if (i < text.size() && text[i] == '=') {
                ++i;
                skipSpaceAndComments(text, i);
                if (readQuoted(text, i, value)) {
                    skipSpaceAndComments(text, i);
                    if (i < text.size() && text[i] == ';') ++i;
                    result[key] = value;
                    continue;
                }
            }
        }
        // Malformed: resynchronise after the next semicolon or line end.
        auto next = text.find_first_of(";\n", std::max(start + 1, i));
        i = next == std::string::npos ? text.size() : next + 1;
    }
    return result;
}

std::string VDLCurrentLanguage() {
    {
        std::lock_guard<std::mutex> lock(gMutex);
        if (!gLanguageOverride.empty()) return gLanguageOverride;
    }
    if (const char* v = std::getenv("LANGUAGE"); v && *v) {
        std::string first(v);
        first = first.substr(0, first.find(':'));
        if (!first.empty()) return languageFromLocaleName(first);
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* v = std::getenv(name); v && *v) return languageFromLocaleName(v);
    }
    return "en";
}

void VDLSetLanguage(const std::string& language) {
    std::lock_guard<std::mutex> lock(gMutex);
    gLanguageOverride = language;
    gTables.clear();
}

void VDLResetLocalizationCache() {
    std::lock_guard<std::mutex> lock(gMutex);
    gTables.clear();
}

std::string VDLLocalizedString(const std::string& key, const std::string& table, const std::string& englishDefault) {
    const std::string language = VDLCurrentLanguage();
    std::lock_guard<std::mutex> lock(gMutex);
    for (const std::string& lang : {language, std::string("en")}) {
        const auto& t = tableFor(lang, table);
        auto it = t.find(key);
        if (it != t.end()) return it->second;
        if (lang == "en") break;
    }
    return englishDefault;
}
