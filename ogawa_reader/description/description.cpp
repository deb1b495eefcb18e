#include "ogawa_reader/description/description.h"

#include <cstdlib>
#include <cstring>

namespace zel::desc {

void release_view(MappedView* view, bool owned) {
    if (owned) {
        std::free(const_cast<unsigned char*>(view->data));
        *view = MappedView{};
    } else {
        unmap(view);
    }
}

void free_description(Description* description) {
    if (!description) return;
    release_view(&description->view, description->view_owned);
    description->~Description();
    std::free(description);
}

void lose_description(Description& d, const char* problem) {
    d.state = ArchiveState::kDamaged;
    d.problem = problem;
}

namespace {

Description* held(const ogawa_archive_t* archive) {
    if (!archive || !archive->file) return nullptr;
    return reinterpret_cast<Description*>(static_cast<std::uintptr_t>(archive->reserved));
}

}  // namespace

const Description* description_of(const ogawa_archive_t* archive) {
    const Description* d = held(archive);
    return d && d->state == ArchiveState::kDescribed ? d : nullptr;
}

Description* description_of(ogawa_archive_t* archive) {
    Description* d = held(archive);
    return d && d->state == ArchiveState::kDescribed ? d : nullptr;
}

ArchiveState state_of(const ogawa_archive_t* archive) {
    const Description* d = held(archive);
    return d ? d->state : ArchiveState::kUndescribed;
}

const char* problem_of(const ogawa_archive_t* archive) {
    const Description* d = held(archive);
    return d ? d->problem : "it could not be decoded (out of memory)";
}

double sample_time(const Description& d, const TimeSampling& s, std::uint64_t k) {
    const double* times = d.times.data() + s.first_time;
    if (s.time_per_cycle == kAcyclicTimePerCycle) return times[k < s.time_count ? k : s.time_count - 1];
    // Uniform samplings store one time: then this is times[0] + k * time per cycle.
    return times[k % s.time_count] + static_cast<double>(k / s.time_count) * s.time_per_cycle;
}

void time_range(const Description& d, double* start, double* end, double* fps) {
    bool animated = false, uniform = false;
    for (std::size_t i = 1; i < d.samplings.size(); ++i) {
        const TimeSampling& s = d.samplings[i];
        if (s.max_samples < 2) continue;
        const double first = sample_time(d, s, 0), last = sample_time(d, s, s.max_samples - 1);
        if (!animated || first < *start) *start = first;
        if (!animated || last > *end) *end = last;
        animated = true;
        if (!uniform && s.time_count == 1 && s.time_per_cycle != kAcyclicTimePerCycle) {
            *fps = 1.0 / s.time_per_cycle;
            uniform = true;
        }
    }
}

std::uint32_t stored_sample_index(const PropertyEntry& p, std::uint32_t i) {
    const std::uint32_t f = p.first_changed, l = p.last_changed;
    if ((f == 0 && l == 0) || i < f) return 0;
    if (i > l) return l - f + 1;
    return i - f + 1;
}

const char* metadata_value(const char* metadata, const char* key, std::size_t* length) {
    const std::size_t key_length = std::strlen(key);
    for (const char* pair = metadata; *pair;) {
        const char* end = std::strchr(pair, ';');
        if (!end) end = pair + std::strlen(pair);
        if (static_cast<std::size_t>(end - pair) > key_length && std::memcmp(pair, key, key_length) == 0 &&
            pair[key_length] == '=') {
            *length = static_cast<std::size_t>(end - pair) - key_length - 1;
            return pair + key_length + 1;
        }
        pair = *end ? end + 1 : end;
    }
    return nullptr;
}

}  // namespace zel::desc
