// Commands not built yet answer with a clear message. Each moves to its own unit when built.
#include "Commands.h"

static int notYet(const char* name) { return cliFail(std::string(name) + ": not available in this build"); }

