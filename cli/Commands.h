#pragma once
// vardelle-cli: one function per command, each in its own unit (cli/cmd_<name>.cpp).
// A command gets its arguments after the command name and returns the exit status:
// 0 success, 1 failure (message printed), 2 usage error.
#include <string>
#include <vector>

class VDLDesign;
struct VDLError;

using CLIArgs = std::vector<std::string>;

int cmdInfo(const CLIArgs& args);
int cmdDump(const CLIArgs& args);
int cmdConvert(const CLIArgs& args);
int cmdRender(const CLIArgs& args);
int cmdEdit(const CLIArgs& args);
int cmdThumbnail(const CLIArgs& args);
int cmdPreview(const CLIArgs& args);
int cmdMetadata(const CLIArgs& args);
int cmdCatalogue(const CLIArgs& args);
// The forms over many files and folders (cli/cmd_batch.cpp).
int cmdConvertMany(const CLIArgs& args);
int cmdThumbnailCache(const CLIArgs& args);
int cmdInfoMany(const CLIArgs& args);

// "vardelle-cli: FILE: MESSAGE (code N)" on stderr; returns 1.
int cliFail(const std::string& file, const VDLError& error);
// "vardelle-cli: MESSAGE" on stderr; returns 1.
int cliFail(const std::string& message);
// Usage message for one command on stderr; returns 2.
int cliUsage(const std::string& usage);
// A colour component 0..1 as an integer 0..255 (rounded, clamped).
int cliColorByte(double component);
// Imports FILE through the dispatch; prints the error and returns false on failure.
bool cliImport(const std::string& file, VDLDesign& design);
