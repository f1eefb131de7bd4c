#include "Commands.h"
#include "VDLDesign.h"

#include <cmath>
#include <cstdio>
#include <cstring>

int cliFail(const std::string& file, const VDLError& error) {
    // A file-system error is shown with the system's own text; the file is already named.
    const std::string message =
        error.domain == VDLPOSIXErrorDomain ? std::string(std::strerror(int(error.code))) : error.message();
    std::fprintf(stderr, "vardelle-cli: %s: %s (code %lld)\n", file.c_str(), message.c_str(),
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

int cliColorByte(double component) {
    if (!(component > 0)) return 0;
    if (component >= 1) return 255;
    return int(std::lround(component * 255.0));
}
