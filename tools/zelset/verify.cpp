// zelset verify ARCHIVE.abc: every stored sample of every property against
// its digest.
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "failure.h"
#include "progress.h"
#include "scene.h"
#include "standard_output.h"

namespace zelset_cli {

namespace {

// "1 object", "2 objects".
std::string counted(std::uint64_t n, const char* one, const char* many = nullptr) {
    return std::to_string(n) + " " + (n == 1 ? one : many ? many : std::string(one) + "s");
}

struct VerifyRequest {
    std::string path;
};

struct Tally {
    std::uint64_t properties = 0;
    std::uint64_t failed_samples = 0;  // a sample node that cannot be read counts as one
    std::uint64_t unreadable_objects = 0;  // objects whose property headers do not decode
};

// One object's properties, each mismatch printed.
void verify_object(Scene& scene, std::uint32_t index, Tally& tally) {
    const bool readable = scene.properties_readable(index);
    const std::string object_path = scene.object(index).path;
    if (!readable) {
        print(object_path + ": " + kUnreadableProperties + "\n");
        ++tally.unreadable_objects;
        return;
    }
    const std::uint32_t count = ogawa_property_count(scene.archive(), index);
    for (std::uint32_t i = 0; i < count; ++i) {
        ogawa_property_info_t p;
        if (ogawa_get_property(scene.archive(), index, i, &p) != 0 || p.kind == 0) continue;
        ++tally.properties;
        std::vector<std::uint32_t> mismatched(p.stored_count);
        const std::int32_t n = ogawa_verify_samples(scene.archive(), index, i, mismatched.data(), p.stored_count);
        const std::string where = object_path + " " + p.path;
        if (n < 0) {
            print(where + ": a sample cannot be read (damaged)\n");
            ++tally.failed_samples;
            continue;
        }
        for (std::uint32_t m = 0; m < static_cast<std::uint32_t>(n) && m < p.stored_count; ++m) {
            print(where + ": stored sample " + std::to_string(mismatched[m]) + " does not match its digest\n");
        }
        tally.failed_samples += static_cast<std::uint32_t>(n);
    }
}

// "1 sample failed", "2 objects whose properties cannot be read", both, or
// the all-clear.
std::string outcome(const Tally& tally) {
    std::string out;
    if (tally.failed_samples) out = counted(tally.failed_samples, "sample") + " failed";
    if (tally.unreadable_objects) {
        if (!out.empty()) out += ", ";
        out += counted(tally.unreadable_objects, "object") + " whose properties cannot be read";
    }
    return out.empty() ? "every sample matches its digest" : out;
}

int run_verify(const VerifyRequest& request) {
    Progress progress;
    progress.stage("opening the archive");
    Scene scene(request.path, false);  // damaged or undescribed: a Failure, exit 1
    const std::uint32_t objects = scene.object_count();
    Tally tally;
    for (std::uint32_t i = 0; i < objects; ++i) {
        progress.step("objects", i, objects);
        verify_object(scene, i, tally);
    }
    print(counted(objects, "object") + ", " + counted(tally.properties, "property", "properties") + ": " +
          outcome(tally) + "\n");
    return tally.failed_samples || tally.unreadable_objects ? kExitFailure : kExitOk;
}

}  // namespace

Runner add_verify(CLI::App& app) {
    CLI::App* command = app.add_subcommand("verify", "Checks every sample of an Alembic archive against its digest");
    auto request = std::make_shared<VerifyRequest>();
    command->add_option("ARCHIVE.abc", request->path, "The Alembic archive")->required();
    command->footer(
        "Prints each sample whose values differ from the digest stored with them (object, property,\n"
        "stored sample index), and each object whose properties cannot be read. Exit 1 when there is\n"
        "any, or when the archive is damaged or cannot be described; 0 when every sample matches.");
    return [request] { return run_verify(*request); };
}

}  // namespace zelset_cli
