#include "PluginTestSupport.h"

#include <sys/wait.h>

#include <cstdlib>

std::string writeRectangleDesign(const TempDir& dir, const std::string& file) {
    std::vector<VDLStitch> s;
    // Jump from the centre to the lower left corner, so the design sits centred in a hoop.
    for (int i = 0; i < 5; ++i) s.emplace_back(-100.f, 0.f, true, false);
    for (int i = 0; i < 5; ++i) s.emplace_back(0.f, -50.f, true, false);
    for (int i = 0; i < 10; ++i) s.emplace_back(100.f, 0.f, false, false);  // along the bottom
    for (int i = 0; i < 600; ++i) {                                           // a run to and fro
        s.emplace_back(-1.f, 0.f, false, false);
        s.emplace_back(1.f, 0.f, false, false);
    }
    s.emplace_back(0.f, 0.f, false, true);  // second colour
    for (int i = 0; i < 5; ++i) s.emplace_back(0.f, 100.f, false, false);
    VDLDesign d = makeDesign(s);
    const std::string path = dir.file(file);
    VDLError error;
    if (!d.exportDesignToURL(VDLURL::fileURLWithPath(path), &error)) return {};
    return path;
}

ProcessRun runProcess(const TempDir& dir, const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& env) {
    std::string cmd;
    for (const auto& e : env) {
        const size_t eq = e.find('=');
        if (eq + 1 == e.size())
            cmd += "unset " + e.substr(0, eq) + "; ";
        else
            cmd += "export " + e.substr(0, eq) + "=" + shellQuoted(e.substr(eq + 1)) + "; ";
    }
    cmd += shellQuoted(program);
    for (const auto& a : args) cmd += " " + shellQuoted(a);
    cmd += " >" + shellQuoted(dir.file("stdout.txt")) + " 2>" + shellQuoted(dir.file("stderr.txt"));
    const int raw = std::system(cmd.c_str());
    ProcessRun r;
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(dir.file("stdout.txt"));
    r.err = slurp(dir.file("stderr.txt"));
    return r;
}

std::pair<int, int> pngSize(const std::string& path) {
    const std::string b = slurp(path);
    if (b.size() < 24 || b.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {0, 0};
    auto be32 = [&](size_t o) {
        return int((uint8_t(b[o]) << 24) | (uint8_t(b[o + 1]) << 16) | (uint8_t(b[o + 2]) << 8) | uint8_t(b[o + 3]));
    };
    return {be32(16), be32(20)};
}
