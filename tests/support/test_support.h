// Helpers shared by the tests: scratch directories and whole-file access.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zel_test {

// A fresh directory, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // Path of a file inside the directory, as a narrow string for the C API.
    std::string file(const std::string& name) const;

private:
    std::filesystem::path path_;
};

std::vector<unsigned char> read_file(const std::string& path);
void write_file(const std::string& path, const std::vector<unsigned char>& bytes);

// Path of a file in tests/data.
std::string data_file(const std::string& name);

}  // namespace zel_test
