// vardelle-cli: inspect, dump, convert, render and edit embroidery designs.
#include "Commands.h"
#include "VDLDesign.h"

#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

struct Command {
    const char* name;
    int (*run)(const CLIArgs&);
    const char* usage;
};

const Command kCommands[] = {
    {"info", cmdInfo,
     "info FILE [--json]            the design's summary (sizes in 0.1 mm with --json)\n"
     "  info [--json|--csv] [--recursive] [--jobs N] PATH...\n"
     "                                the same for many files and folders: JSON Lines, or CSV rows"},
    {"dump", cmdDump,
     "dump FILE                     one line per thread, then one line per stitch record:\n"
     "                                  thread I KEY PALETTE R G B   (R G B 0-255; an empty KEY or\n"
     "                                    PALETTE prints as '-', spaces in them as '_')\n"
     "                                  stitch I DX DY FLAGS         (0.1 mm, Y up; FLAGS -, J, C or JC)"},
    {"convert", cmdConvert,
     "convert IN OUT                write IN in the format of OUT's extension\n"
     "  convert --to FORMAT [-o OUTDIR] [--recursive] [--jobs N] [--force] PATH...\n"
     "                                convert files and folders; outputs beside the inputs, or the\n"
     "                                  input tree under OUTDIR; existing outputs kept without --force"},
    {"render", cmdRender,
     "render IN OUT [--size N] [--3d] [--jumps] [--points] [--thread I] [--cairo]\n"
     "                                draw IN into OUT (.png, .svg or .pdf); PNG pixels are drawn directly,\n"
     "                                  --cairo (or VARDELLE_RENDERER=cairo) draws them through Cairo"},
    {"edit", cmdEdit,
     "edit IN OUT [--center] [--rotate DEG] [--flip V|H] [--scale F] [--move DX DY] [--basting LEN DIST]\n"
     "                                edit the whole design, in the order given, and write OUT\n"
     "                                  (DEG whole degrees, counter-clockwise; F a factor, 1.5 = 150 %;\n"
     "                                  DX DY, LEN (stitch length) and DIST (distance) in millimetres)"},
    {"thumbnail", cmdThumbnail,
     "thumbnail IN OUT.png [--size N]\n"
     "                                the file-manager thumbnail of IN (default 600 pixels)\n"
     "  thumbnail --cache [--size normal|large|x-large|xx-large] [--recursive] [--jobs N] PATH...\n"
     "                                fill the desktop's thumbnail cache (~/.cache/thumbnails)"},
    {"catalogue", cmdCatalogue,
     "catalogue [-o OUT.pdf] [--paper a4|letter] [--per-page N] [--title TEXT] [--recursive] [--jobs N]\n"
     "          [--force] PATH...   a printable contact sheet of the designs (default catalogue.pdf)"},
    {"preview", cmdPreview, "preview IN OUT.(png|pdf|svg)  the preview page of IN"},
    {"metadata", cmdMetadata,
     "metadata FILE [--json] [--xattr]\n"
     "                                width, height, stitches and colours of FILE; --xattr stores\n"
     "                                  them as user.vardelle.* extended attributes"},
};

void printHelp(FILE* out) {
    std::fprintf(out,
                 "usage: vardelle-cli COMMAND ARGS...\n\n"
                 "Reads DST, EXP, VP3, KSM, PES, PEC, JEF, JPX, SEW, PCS, PCD and PCQ designs;\n"
                 "writes JEF, PES, PEC, EXP, DST and PCS (the format follows the file extension).\n\n"
                 "commands:\n");
    for (const auto& c : kCommands) std::fprintf(out, "  %s\n", c.usage);
    std::fprintf(out,
                 "  --help, -h                    this text\n"
                 "  --version                     the version of vardelle-cli\n"
                 "\nErrors are printed as 'vardelle-cli: FILE: MESSAGE (code N)' with exit status 1;\n"
                 "usage errors exit with status 2.\n");
}

}  // namespace

int cliUsage(const std::string& usage) {
    std::fprintf(stderr, "usage: vardelle-cli %s\n", usage.c_str());
    return 2;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        printHelp(stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printHelp(stdout);
        return 0;
    }
    if (name == "--version") {
        std::printf("vardelle-cli (Vardelle) %s\n", VARDELLE_VERSION);
        return 0;
    }
    CLIArgs args(argv + 2, argv + argc);
    for (const auto& c : kCommands) {
        if (name == c.name) {
            for (const auto& a : args)
                if (a == "--help" || a == "-h") {
                    std::printf("usage: vardelle-cli %s\n", c.usage);
                    return 0;
                }
            return c.run(args);
        }
    }
    std::fprintf(stderr, "vardelle-cli: unknown command '%s'\n\n", name.c_str());
    printHelp(stderr);
    return 2;
}
