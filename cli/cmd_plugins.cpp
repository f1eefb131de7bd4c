// vardelle-cli thumbnail, preview and metadata: the preview and metadata plug-ins, loaded
// through their factories exactly as the desktop's hosts load them.
#include "Commands.h"
#include "VDLCairoContext.h"
#include "VDLError.h"
#include "VDLQuickLookHost.h"
#include "VDLSpotlightHost.h"

#include <sys/xattr.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

namespace {

const char* const kThumbnailUsage = "thumbnail IN OUT.png [--size N]";
const char* const kPreviewUsage = "preview IN OUT.(png|pdf|svg)";
const char* const kMetadataUsage = "metadata FILE [--json] [--xattr]";
constexpr int kDefaultThumbnailSize = 600;
constexpr int kMinThumbnailSize = 1;
constexpr int kMaxThumbnailSize = 4096;

// The four attributes in the order they are printed, with the extended attribute each is
// stored under.
struct AttributeName {
    const char* key;
    const char* xattr;
};
const AttributeName kAttributes[] = {
    {kVardelleEmbroideryWidth, "user.vardelle.width"},
    {kVardelleEmbroideryHeight, "user.vardelle.height"},
    {kVardelleEmbroideryStitches, "user.vardelle.stitches"},
    {kVardelleEmbroideryColors, "user.vardelle.colors"},
};

std::string lowercaseExtension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    if (!ext.empty()) ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext;
}

// The shortest text that reads back as V (123.4, 50, 1234).
std::string numberText(double v) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : std::string("0");
}

int writeOutput(VDLCairoContext& picture, const std::string& out) {
    VDLError error;
    if (!picture.writeToFile(out, &error)) return cliFail(out, error);
    return 0;
}

std::unique_ptr<VDLQuickLookGenerator> loadGenerator() {
    std::string error;
    auto generator = VDLQuickLookGenerator::load({}, &error);
    if (!generator) cliFail(error);
    return generator;
}

// Stores the attributes as extended attributes of PATH, all or none: on a failure the ones
// already written are put back as they were.
bool storeExtendedAttributes(const std::string& path, const VDLMDAttributes& attributes, int& err) {
    struct Previous {
        const char* name;
        std::optional<std::string> value;
    };
    std::vector<Previous> written;
    for (const auto& a : kAttributes) {
        const double* v = VDLMDAttributesGetNumber(&attributes, a.key);
        if (!v) continue;
        Previous previous{a.xattr, std::nullopt};
        char old[256];
        const ssize_t n = getxattr(path.c_str(), a.xattr, old, sizeof old);
        if (n >= 0) previous.value = std::string(old, size_t(n));
        const std::string text = numberText(*v);
        if (setxattr(path.c_str(), a.xattr, text.data(), text.size(), 0) != 0) {
            err = errno;
            for (const auto& w : written) {
                if (w.value)
                    setxattr(path.c_str(), w.name, w.value->data(), w.value->size(), 0);
                else
                    removexattr(path.c_str(), w.name);
            }
            return false;
        }
        written.push_back(previous);
    }
    return true;
}

}  // namespace

int cmdThumbnail(const CLIArgs& args) {
    for (const auto& a : args)
        if (a == "--cache") return cmdThumbnailCache(args);
    std::vector<std::string> positional;
    std::string sizeText;
    bool haveSize = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--size") {
            if (i + 1 >= args.size()) return cliUsage(kThumbnailUsage);
            sizeText = args[++i];
            haveSize = true;
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return cliUsage(kThumbnailUsage);
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 2) return cliUsage(kThumbnailUsage);
    const std::string& in = positional[0];
    const std::string& out = positional[1];
    if (lowercaseExtension(out) != "png") return cliFail(out + ": a thumbnail is written as .png");

    int size = kDefaultThumbnailSize;
    if (haveSize) {
        const char* end = sizeText.data() + sizeText.size();
        auto [p, ec] = std::from_chars(sizeText.data(), end, size);
        if (ec != std::errc() || p != end || sizeText.empty() || size < kMinThumbnailSize || size > kMaxThumbnailSize)
            return cliFail("bad size '" + sizeText + "' (a whole number from " + std::to_string(kMinThumbnailSize) +
                           " to " + std::to_string(kMaxThumbnailSize) + ")");
    }

    auto generator = loadGenerator();
    if (!generator) return 1;
    auto image = generator->thumbnailImage(in, size);
    if (!image) return cliFail(in + ": no thumbnail (the file could not be read as an embroidery design)");
    return writeOutput(*image, out);
}

int cmdPreview(const CLIArgs& args) {
    if (args.size() != 2) return cliUsage(kPreviewUsage);
    for (const auto& a : args)
        if (a.size() > 1 && a[0] == '-') return cliUsage(kPreviewUsage);
    const std::string& in = args[0];
    const std::string& out = args[1];
    const std::string ext = lowercaseExtension(out);
    VDLCairoContext::Kind kind;
    if (ext == "png")
        kind = VDLCairoContext::Kind::Image;
    else if (ext == "pdf")
        kind = VDLCairoContext::Kind::PDF;
    else if (ext == "svg")
        kind = VDLCairoContext::Kind::SVG;
    else
        return cliFail(out + ": unknown output type '" + ext + "' (use .png, .pdf or .svg)");

    auto generator = loadGenerator();
    if (!generator) return 1;
    auto page = generator->previewDocument(in, kind);
    if (!page) return cliFail(in + ": no preview (the file could not be read as an embroidery design)");
    return writeOutput(*page, out);
}

int cmdMetadata(const CLIArgs& args) {
    std::vector<std::string> positional;
    bool json = false, xattr = false;
    for (const auto& a : args) {
        if (a == "--json")
            json = true;
        else if (a == "--xattr")
            xattr = true;
        else if (a.size() > 1 && a[0] == '-')
            return cliUsage(kMetadataUsage);
        else
            positional.push_back(a);
    }
    if (positional.size() != 1) return cliUsage(kMetadataUsage);
    const std::string& file = positional[0];

    std::string error;
    auto importer = VDLSpotlightImporter::load({}, &error);
    if (!importer) return cliFail(error);
    VDLMDAttributes attributes{};
    if (!importer->importData(file, attributes))
        return cliFail(file + ": no attributes (the file could not be read as an embroidery design)");

    if (json) {
        std::printf("{");
        const char* separator = "";
        for (const auto& a : kAttributes) {
            const double* v = VDLMDAttributesGetNumber(&attributes, a.key);
            if (!v) continue;
            std::printf("%s\"%s\": %s", separator, a.key, numberText(*v).c_str());
            separator = ", ";
        }
        std::printf("}\n");
    } else {
        for (const auto& a : kAttributes)
            if (const double* v = VDLMDAttributesGetNumber(&attributes, a.key))
                std::printf("%s: %s\n", a.key, numberText(*v).c_str());
    }

    if (xattr) {
        int err = 0;
        if (!storeExtendedAttributes(file, attributes, err))
            return cliFail(file + ": cannot store the attributes: " + std::strerror(err));
    }
    return 0;
}
