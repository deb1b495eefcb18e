#include "unit_file.h"

#include "file_kind.h"

namespace zelset_cli {

Failure cut_short(const std::string& path, std::uint32_t claimed, std::uint32_t held, const char* records) {
    return Failure(path, "cut short: its header says " + std::to_string(claimed) + " " + records +
                             ", the file holds " + std::to_string(held));
}

Unit::Unit(const std::string& path) {
    FileHead head = read_head(path);
    if (file_kind_of(head) != FileKind::kUnit) throw Failure(path, "not a unit file (no ZEL magic)");
    errno = 0;
    int status = zelset_load(path.c_str(), &unit_);
    if (status != 0) {
        release_and_throw(status_failure(
            path, status,
            {{-1, "cannot open", true},
             {-2, "cut short inside its header"},
             {-3, "not a unit file (no ZEL magic)"},
             {-7, "holds more tokens than a unit takes (2147483647)"}},
            "out of memory"));
    }
    std::uint32_t claimed = header_count(head).value_or(0);
    if (unit_.count < claimed) release_and_throw(cut_short(path, claimed, unit_.count, "tokens"));
}

void Unit::release_and_throw(const Failure& failure) {
    zelset_free(&unit_);
    throw failure;
}

}  // namespace zelset_cli
