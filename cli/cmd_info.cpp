// Placeholder until info, dump and convert are built.
#include "Commands.h"

int cmdInfo(const CLIArgs&) { return cliFail("info: not available in this build"); }
int cmdDump(const CLIArgs&) { return cliFail("dump: not available in this build"); }
int cmdConvert(const CLIArgs&) { return cliFail("convert: not available in this build"); }
