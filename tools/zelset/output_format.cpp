#include "output_format.h"

#include <algorithm>
#include <optional>

#include "failure.h"

namespace zelset_cli {

namespace {

constexpr Format kFormats[] = {Format::kMeshCache, Format::kUnit, Format::kTokenArchive, Format::kPng};

std::optional<Format> by_name(const std::string& name, const std::vector<Format>& among) {
    for (Format f : among) {
        if (name == format_name(f)) return f;
    }
    return std::nullopt;
}

// The text after the name's last dot, when the dot is not the name's first character.
std::string extension_of(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    return dot == std::string::npos || dot <= start ? std::string() : path.substr(dot + 1);
}

}  // namespace

const char* format_name(Format format) {
    switch (format) {
        case Format::kMeshCache: return "zelm";
        case Format::kUnit: return "zel";
        case Format::kTokenArchive: return "bzel";
        case Format::kPng: return "png";
    }
    return "";
}

std::string format_names(const std::vector<Format>& formats) {
    std::string out;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        if (i > 0) out += i + 1 == formats.size() ? " or " : ", ";
        out += format_name(formats[i]);
    }
    return out;
}

Format output_format(const std::string& output, const std::string& format_option,
                     const std::vector<Format>& accepted) {
    const std::string extension = extension_of(output);
    const std::optional<Format> named = by_name(extension, {std::begin(kFormats), std::end(kFormats)});
    if (format_option.empty()) {
        if (named && std::find(accepted.begin(), accepted.end(), *named) != accepted.end()) return *named;
        throw UsageError("OUT '" + output + "' does not say what to write: its extension, or --format, is " +
                         format_names(accepted));
    }
    const std::optional<Format> chosen = by_name(format_option, accepted);
    if (!chosen) throw UsageError("--format needs " + format_names(accepted) + ", not '" + format_option + "'");
    if (named && *named != *chosen) {
        throw UsageError("OUT '" + output + "' names the format " + extension + ", --format " + format_option);
    }
    return *chosen;
}

}  // namespace zelset_cli
