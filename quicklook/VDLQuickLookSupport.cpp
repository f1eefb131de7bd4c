#include "VDLQuickLookGenerator.h"

#include <algorithm>
#include <cstring>

std::string VDLQLPathFromURL(const char* url) {
    if (!url) return {};
    std::string text = url;
    const char* scheme = "file://";
    if (text.compare(0, std::strlen(scheme), scheme) != 0) {
        // No scheme: a path. Any other scheme is not a local file.
        const size_t colon = text.find(':');
        const size_t slash = text.find('/');
        if (colon != std::string::npos && (slash == std::string::npos || colon < slash)) return {};
        return text;
    }
    std::string rest = text.substr(std::strlen(scheme));
    if (rest.compare(0, 9, "localhost") == 0) rest.erase(0, 9);
    if (rest.empty() || rest[0] != '/') return {};  // a remote host
    std::string path;
    path.reserve(rest.size());
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        if (i + 2 >= rest.size()) return {};
        const int hi = VDLHexDigitValue(rest[i + 1]);
        const int lo = VDLHexDigitValue(rest[i + 2]);
        if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) return {};
        path += char(hi * 16 + lo);
        i += 2;
    }
    return path;
}

double VDLQLFitFactor(double areaW, double areaH, double w, double h) {
    const double width = w > 0 ? w : 1.0;
    const double height = h > 0 ? h : 1.0;
    return std::min(areaW / width / 1.05, areaH / height / 1.05);
}

VDLQLContextLease::VDLQLContextLease(VDLQLRequest* request, VDLQLSize size) : request_(request) {
    if (request_ && request_->createContext) context_ = request_->createContext(request_, size, false);
}

VDLQLContextLease::~VDLQLContextLease() {
    if (!context_) return;
    if (request_->flushContext) request_->flushContext(request_, context_);
    if (request_->releaseContext) request_->releaseContext(request_, context_);
}
