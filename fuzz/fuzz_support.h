// What every fuzz target needs around the reader it drives: a scratch file to
// hand the reader by path, and a check that stops the run. The targets build
// twice: with libFuzzer (fuzz/CMakeLists.txt), and with replay_main.cpp into
// the test suite, which runs each target on every file of its corpus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zel_fuzz {

// A file in a temporary folder (memory-backed where the system has one),
// named for this process, so that parallel fuzzing processes never share it.
// Removed when the program ends normally.
class ScratchFile {
public:
    explicit ScratchFile(const char* name);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const char* path() const { return path_.c_str(); }
    // Replaces the file's contents with the size bytes at data.
    void write(const std::uint8_t* data, std::size_t size) const;

private:
    std::string path_;
};

// A property every input must keep: when it fails, the run stops with a crash
// that libFuzzer keeps as an artifact and the replay reports with its input.
inline void require(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace zel_fuzz
