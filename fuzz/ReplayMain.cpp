// Replays inputs through a libFuzzer harness without libFuzzer: each argument is a file or
// a folder of files (a missing folder counts as empty), and every file is handed to
// LLVMFuzzerTestOneInput once. A crash ends the program as it would end the fuzzer, so a
// test runner sees the failure; otherwise it prints how many inputs ran and exits 0.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize != nullptr)
        LLVMFuzzerInitialize(&argc, &argv);
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        fs::path arg(argv[i]);
        if (fs::is_directory(arg, ec)) {
            for (const auto& entry : fs::directory_iterator(arg, ec))
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                    files.push_back(entry.path());
        } else if (fs::is_regular_file(arg, ec)) {
            files.push_back(arg);
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        std::ifstream in(path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::fprintf(stderr, "replay %s (%zu bytes)\n", path.c_str(), bytes.size());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::fprintf(stderr, "replayed %zu inputs\n", files.size());
    return 0;
}
