// The kinds of file the commands write, named by an output's extension or by
// --format.
#pragma once

#include <string>
#include <vector>

namespace zelset_cli {

enum class Format { kMeshCache, kUnit, kTokenArchive, kPng };

// "zelm", "zel", "bzel", "png": the --format value and, after a dot, the extension.
const char* format_name(Format format);

// The format of an output, out of those a command writes: format_option's
// when it is not empty, else the one output's extension names. Throws
// UsageError when neither names one of them (standard output, a device or a
// FIFO has no extension to tell), or when the two name different formats.
Format output_format(const std::string& output, const std::string& format_option,
                     const std::vector<Format>& accepted);

// "zelm, zel or bzel": the names of formats, for help and messages.
std::string format_names(const std::vector<Format>& formats);

}  // namespace zelset_cli
