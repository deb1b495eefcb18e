// Replays a fuzz target without libFuzzer: runs its entry function on every
// file of the folders (and on the files) named on the command line, in name
// order. Each input's name is printed before it runs, so a crash names it.
// Fails when it finds no input at all: a corpus that went missing.
#include <algorithm>
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

std::vector<fs::path> inputs_named(int argc, char** argv) {
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!fs::is_directory(argv[i])) {
            inputs.emplace_back(argv[i]);
            continue;
        }
        std::vector<fs::path> folder;
        for (const fs::directory_entry& entry : fs::directory_iterator(argv[i])) {
            if (entry.is_regular_file()) folder.push_back(entry.path());
        }
        std::sort(folder.begin(), folder.end());
        inputs.insert(inputs.end(), folder.begin(), folder.end());
    }
    return inputs;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<fs::path> inputs = inputs_named(argc, argv);
    if (inputs.empty()) {
        std::cerr << "no input to replay\n";
        return 1;
    }
    for (const fs::path& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::cerr << "cannot read " << path.string() << "\n";
            return 1;
        }
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // An array of exactly the input's size, as libFuzzer hands it over:
        // the sanitizers see a read past its end.
        std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), data.get());
        std::cout << path.string() << " (" << bytes.size() << " bytes)" << std::endl;
        LLVMFuzzerTestOneInput(data.get(), bytes.size());
    }
    std::cout << inputs.size() << " inputs replayed\n";
    return 0;
}
