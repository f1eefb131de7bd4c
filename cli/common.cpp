#include "Commands.h"
#include "VDLDesign.h"

#include <cstdio>

int cliFail(const std::string& file, const VDLError& error) {
    std::fprintf(stderr, "vardelle-cli: %s: %s (code %lld)\n", file.c_str(), error.message().c_str(),
                 static_cast<long long>(error.code));
    return 1;
}

int cliFail(const std::string& message) {
    std::fprintf(stderr, "vardelle-cli: %s\n", message.c_str());
    return 1;
}

bool cliImport(const std::string& file, VDLDesign& design) {
    VDLError error;
    if (!design.importDesignFromURL(VDLURL::fileURLWithPath(file), &error)) {
        cliFail(file, error);
        return false;
    }
    return true;
}
