// Replays every file of the given folders (or files) through the fuzz entry point, so CI can
// run the corpus without a libFuzzer-capable compiler.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int runFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 1;
}

int main(int argc, char** argv) {
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path p(argv[i]);
        std::error_code ec;
        if (std::filesystem::is_directory(p, ec)) {
            for (const auto& e : std::filesystem::recursive_directory_iterator(p, ec))
                if (e.is_regular_file()) count += runFile(e.path());
        } else if (std::filesystem::is_regular_file(p, ec)) {
            count += runFile(p);
        }
    }
    // Also run a few degenerate inputs that every reader must survive.
    const uint8_t zeros[600] = {};
    LLVMFuzzerTestOneInput(nullptr, 0);
    LLVMFuzzerTestOneInput(zeros, 1);
    LLVMFuzzerTestOneInput(zeros, sizeof zeros);
    std::printf("replayed %d corpus files\n", count);
    return 0;
}
