// make_fuzz_seeds CORPUSDIR: writes the seed inputs of the fuzz targets for the data around a
// design (clipboard and window-state archives, preferences file, version reply, thread side
// file) into CORPUSDIR/<target>/, each made by the code that writes that data (or, for the
// application's Qt writers, by the same library calls). The output is the same on every run.
#include "VDLDesign.h"
#include "VDLKeptStitches.h"
#include "VDLPropertyList.h"
#include "VDLThreadFile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::filesystem::path gRoot;

void write(const std::string& target, const std::string& name, const std::string& bytes) {
    const std::filesystem::path folder = gRoot / target;
    std::filesystem::create_directories(folder);
    std::ofstream(folder / name, std::ios::binary) << bytes;
    std::printf("%s/%s (%zu bytes)\n", target.c_str(), name.c_str(), bytes.size());
}

// A small design (with a hoop and the file it came from, or without): two threads, a jump into each part, one colour change, a few stitches.
VDLDesign smallDesign(bool withHoop) {
    VDLDesign d;
    d.setDesignName("Leaf");
    d.setDesignType("jef");
    d.setStitches({VDLStitch(0, 0, true, false), VDLStitch(12, 8, false, false), VDLStitch(-4, 20, false, false),
                   VDLStitch(15, -3, false, false), VDLStitch(0, 0, false, true), VDLStitch(60, 40, true, false),
                   VDLStitch(-9.5f, 11, false, false), VDLStitch(7, 7, false, false)});
    d.setThreads({VDLThread(VDLColor(0.8, 0.1, 0.2), "Rose", "1147", "Madeira Rayon", "Madeira Rayon"),
                  VDLThread(VDLColor(0.1, 0.5, 0.2), "Leaf", "1049", "Madeira Rayon", "Madeira Rayon")});
    if (withHoop) {
        d.setDesignHoop(VDLHoop("SQ14", "Janome", 2, 1400, 1400, false, false, true));
        d.setDesignLocation(VDLURL::fileURLWithPath("/home/user/Designs/Leaf.jef"));
    }
    d.recomputeBounds();
    return d;
}

// The clipboard holds the selected stitches only, deselected.
VDLDesign selectedPart(const VDLDesign& design) {
    VDLDesign part = design.copy();
    part.invertAll();
    if (part.selectionActive()) part.deleteSelection();
    part.deselectAll();
    return part;
}

std::string windowState(const VDLDesign& design, bool edited, int64_t shownThread) {
    VDLPlist root(plist_new_dict());
    VDLCoder coder(static_cast<plist_t>(root.get()));
    coder.encodeFloat(1.5f, "VDLViewScaling");
    coder.encodeFloat(30.0f, "VDLViewCenterX");
    coder.encodeFloat(-12.0f, "VDLViewCenterY");
    VDLCoder designCoder(coder.encodeDictionary("VDLDesign"));
    design.encodeWithCoder(designCoder);
    plist_dict_set_item(static_cast<plist_t>(root.get()), "VDLModificationDate", plist_new_date(786000000, 0));
    coder.encodeBool(edited, "VDLIsEdited");
    if (shownThread >= 0) coder.encodeInt(shownThread, "VDLSelectedThread");
    coder.encodeInt(2, "VDLSelectionMode");
    coder.encodeString("/home/user/Designs/Leaf.jef", "VDLFilePath");
    coder.encodeString("120 80 1000 700", "VDLWindowFrame");
    // A kept design's stitches go to a file of their own; the archive names their count.
    if (edited) coder.encodeInt(int64_t(design.stitches().size()), "VDLStitchCount");
    return VDLPlistToXML(static_cast<plist_t>(root.get()));
}

std::string archivedColour(double r, double g, double b) {
    VDLPlist dict(plist_new_dict());
    VDLCoder coder(static_cast<plist_t>(dict.get()));
    coder.encodeDouble(r, "r");
    coder.encodeDouble(g, "g");
    coder.encodeDouble(b, "b");
    return VDLPlistToXML(static_cast<plist_t>(dict.get()));
}

std::string versionReply(const char* identifier, const char* version, const char* url) {
    VDLPlist root(plist_new_dict());
    VDLCoder coder(static_cast<plist_t>(root.get()));
    VDLCoder entry(coder.encodeDictionary(identifier));
    entry.encodeString(std::string(version), "version");
    if (url) entry.encodeString(std::string(url), "url");
    return VDLPlistToXML(static_cast<plist_t>(root.get()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds CORPUSDIR\n");
        return 2;
    }
    gRoot = argv[1];

    // Clipboard: a copied selection, and a whole small design with its hoop.
    VDLDesign design = smallDesign(true);
    design.selectInRect(VDLRect{VDLPoint{-5, -5}, VDLSize{40, 40}}, false);
    write("clipboard", "selection.plist", selectedPart(design).archivedXML());
    write("clipboard", "hooped.plist", smallDesign(true).archivedXML());

    // Window states: an edited design with one thread shown, an unedited one without a design
    // that differs from its file.
    write("windowstate", "edited.plist", windowState(smallDesign(true), true, 1));
    write("windowstate", "unedited.plist", windowState(smallDesign(false), false, -1));
    // The edited design's stitches as the window state keeps them beside its archive.
    {
        VDLDesign kept = smallDesign(true);
        kept.selectInRect(VDLRect{VDLPoint{-5, -5}, VDLSize{40, 40}}, false);
        write("keptstitches", "edited.stitches", VDLEncodeKeptStitches(kept.stitches()));
        write("keptstitches", "empty.stitches", VDLEncodeKeptStitches({}));
    }

    // Preferences: every type the application stores, and the forms a hand-edited file uses.
    {
        VDLPlist root(plist_new_dict());
        VDLCoder coder(static_cast<plist_t>(root.get()));
        coder.encodeInt(1, "MeasurementUnit");
        coder.encodeInt(2, "MachineTag");
        coder.encodeBool(true, "DrawFastMode");
        coder.encodeBool(false, "ShowGrid");
        coder.encodeFloat(4.5f, "BastingLength");
        coder.encodeString(std::string("Madeira Rayon"), "DefaultPalette");
        const std::string colour = archivedColour(0.2, 0.3, 0.9);
        plist_dict_set_item(static_cast<plist_t>(root.get()), "BackgroundColor",
                            plist_new_data(colour.data(), colour.size()));
        plist_dict_set_item(static_cast<plist_t>(root.get()), "LastUpdateCheck", plist_new_date(786000000, 500000));
        write("defaults", "application.plist", VDLPlistToXML(static_cast<plist_t>(root.get())));
    }
    {
        VDLPlist root(plist_new_dict());
        VDLCoder coder(static_cast<plist_t>(root.get()));
        coder.encodeString(std::string("2"), "MeasurementUnit");
        coder.encodeString(std::string("YES"), "DrawFastMode");
        coder.encodeDouble(1.0, "ShowJumps");
        coder.encodeString(std::string("7"), "StitchSpeed");
        write("defaults", "hand-edited.plist", VDLPlistToXML(static_cast<plist_t>(root.get())));
    }

    // Version replies: a newer release with its page, one without a page, another application.
    write("versionreply", "newer.plist",
          versionReply("io.github.vardelle.Vardelle", "0.2.0", "https://vardelle.github.io/download"));
    write("versionreply", "no-url.plist", versionReply("io.github.vardelle.Vardelle", "0.1.0", nullptr));
    write("versionreply", "other-application.plist", versionReply("org.example.Other", "3.1", "https://example.org"));

    // Thread side file of the small design.
    write("threadfile", "generated.threads", VDLThreadFileDataForThreads(smallDesign(false).threads()));
    return 0;
}
