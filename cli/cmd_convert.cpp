// vardelle-cli convert IN OUT: read IN and write it in the format named by OUT's extension.
// convert --to FORMAT ... PATH... converts whole collections (cmd_batch.cpp).
#include "Commands.h"
#include "VDLDesign.h"

int cmdConvert(const CLIArgs& args) {
    // With options (--to FORMAT ...) it is the form over many files and folders.
    for (const auto& a : args)
        if (a.size() > 1 && a[0] == '-') return cmdConvertMany(args);
    if (args.size() != 2) return cliUsage("convert IN OUT\n   or: vardelle-cli convert --to FORMAT [-o OUTDIR] [--recursive] [--jobs N] [--force] PATH...");
    const std::string& in = args[0];
    const std::string& out = args[1];

    VDLDesign design;
    if (!cliImport(in, design)) return 1;
    // The design now lives at OUT: its thread file (if it keeps one) goes beside OUT.
    design.setDesignLocation(VDLURL::fileURLWithPath(out));
    VDLError error;
    if (!design.exportDesignToURL(VDLURL::fileURLWithPath(out), &error)) return cliFail(out, error);
    return 0;
}
