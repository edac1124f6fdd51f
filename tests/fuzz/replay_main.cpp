// The replay program of a fuzz target: feeds every input file to LLVMFuzzerTestOneInput once.
// Built with any compiler and run by CTest over the checked-in seed corpus, so that every
// target keeps compiling and every seed (and every fixed finding) keeps passing without clang.
//
// Arguments: files, or folders whose regular files are all replayed (in name order).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputsOf(int argc, char** argv) {
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path argument(argv[i]);
        if (fs::is_directory(argument)) {
            std::vector<fs::path> files;
            for (const fs::directory_entry& entry : fs::directory_iterator(argument)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
            std::sort(files.begin(), files.end());
            inputs.insert(inputs.end(), files.begin(), files.end());
        } else {
            inputs.push_back(argument);
        }
    }
    return inputs;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<fs::path> inputs = inputsOf(argc, argv);
    if (inputs.empty()) {
        // An empty or mistyped corpus would otherwise pass without testing anything.
        std::cerr << "no inputs to replay\n";
        return 1;
    }
    for (const fs::path& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        if (!file) {
            std::cerr << "cannot read " << input << '\n';
            return 1;
        }
        const std::vector<char> content{std::istreambuf_iterator<char>(file),
                                        std::istreambuf_iterator<char>()};
        // A buffer of exactly the input's size, so that AddressSanitizer sees a read past it.
        const auto bytes = std::make_unique<std::uint8_t[]>(content.size());
        std::copy(content.begin(), content.end(), bytes.get());
        std::cout << "replaying " << input.filename().string() << " (" << content.size()
                  << " bytes)" << std::endl;
        LLVMFuzzerTestOneInput(bytes.get(), content.size());
    }
    std::cout << inputs.size() << " inputs replayed\n";
    return 0;
}
