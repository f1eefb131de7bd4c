// Commands not built yet answer with a clear message. Each moves to its own unit when built.
#include "Commands.h"

static int notYet(const char* name) { return cliFail(std::string(name) + ": not available in this build"); }

int cmdThumbnail(const CLIArgs&) { return notYet("thumbnail"); }
int cmdPreview(const CLIArgs&) { return notYet("preview"); }
int cmdMetadata(const CLIArgs&) { return notYet("metadata"); }
