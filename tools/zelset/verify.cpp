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

// One object's properties; returns how many stored samples fail their check
// (a sample node that cannot be read counts as one).
std::uint64_t verify_object(Scene& scene, std::uint32_t index, std::uint64_t& properties) {
    std::uint64_t failed = 0;
    const std::uint32_t count = ogawa_property_count(scene.archive(), index);
    const std::string object_path = scene.object(index).path;  // after decoding, which may move it
    for (std::uint32_t i = 0; i < count; ++i) {
        ogawa_property_info_t p;
        if (ogawa_get_property(scene.archive(), index, i, &p) != 0 || p.kind == 0) continue;
        ++properties;
        std::vector<std::uint32_t> mismatched(p.stored_count);
        const std::int32_t n = ogawa_verify_samples(scene.archive(), index, i, mismatched.data(), p.stored_count);
        const std::string where = object_path + " " + p.path;
        if (n < 0) {
            print(where + ": a sample cannot be read (damaged)\n");
            ++failed;
            continue;
        }
        for (std::uint32_t m = 0; m < static_cast<std::uint32_t>(n) && m < p.stored_count; ++m) {
            print(where + ": stored sample " + std::to_string(mismatched[m]) + " does not match its digest\n");
        }
        failed += static_cast<std::uint32_t>(n);
    }
    return failed;
}

int run_verify(const VerifyRequest& request) {
    Progress progress;
    progress.stage("opening the archive");
    Scene scene(request.path, false);  // damaged or undescribed: a Failure, exit 1
    const std::uint32_t objects = scene.object_count();
    std::uint64_t failed = 0, properties = 0;
    for (std::uint32_t i = 0; i < objects; ++i) {
        progress.step("objects", i, objects);
        failed += verify_object(scene, i, properties);
    }
    print(counted(objects, "object") + ", " + counted(properties, "property", "properties") + ": " +
          (failed ? counted(failed, "sample") + " failed" : "every sample matches its digest") + "\n");
    return failed ? kExitFailure : kExitOk;
}

}  // namespace

Runner add_verify(CLI::App& app) {
    CLI::App* command = app.add_subcommand("verify", "Checks every sample of an Alembic archive against its digest");
    auto request = std::make_shared<VerifyRequest>();
    command->add_option("ARCHIVE.abc", request->path, "The Alembic archive")->required();
    command->footer(
        "Prints each sample whose values differ from the digest stored with them (object, property,\n"
        "stored sample index). Exit 1 when there is any, or when the archive is damaged or cannot be\n"
        "described; 0 when every sample matches.");
    return [request] { return run_verify(*request); };
}

}  // namespace zelset_cli
