// zelset query UNIT.zel (--key K | --id ID | --nearest K [-k N] | --layer L) [--json]
#include <cstring>
#include <string>
#include <vector>

#include "args.h"
#include "commands.h"
#include "failure.h"
#include "report.h"
#include "zelset.h"

namespace zelset_cli {

const char* const kQueryUsage =
    "usage: zelset query UNIT.zel (--key K | --id ID | --nearest K [-k N] | --layer L) [--json]\n"
    "  --key K       the token whose key is K\n"
    "  --id ID       the token whose id is ID (up to 8 characters)\n"
    "  --nearest K   the N tokens whose keys lie closest to K (-k N, default 5)\n"
    "  --layer L     every token of layer L\n"
    "  --json        one JSON document instead of text\n"
    "  A key or id that is not there is exit 1.\n";

namespace {

class Unit {
public:
    explicit Unit(const std::string& path) {
        int rc = zelset_load(path.c_str(), &unit_);
        if (rc != 0) throw call_failed(path, "zelset_load", rc);
    }
    ~Unit() { zelset_free(&unit_); }
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;
    const zelset_t* get() const { return &unit_; }

private:
    zelset_t unit_{};
};

Report token_report(const zelset_t* unit, std::uint32_t index) {
    const zel_token_t& t = unit->tokens[index];
    char id[9] = {};
    std::memcpy(id, t.hex_id, 8);
    return Report()
        .add("index", index)
        .add("key", t.morton)
        .add("id", id)
        .add("signature", t.signature)
        .add("layer", std::uint32_t{t.layer});
}

}  // namespace

int run_query(int argc, char** argv) {
    Args args(argc, argv, AcceptedOptions{{"--json"}, {"--key", "--id", "--nearest", "-k", "--layer"}});
    if (args.positional().size() != 1) throw UsageError("query takes one UNIT.zel");
    if (args.count_of({"--key", "--id", "--nearest", "--layer"}) != 1) {
        throw UsageError("query takes exactly one of --key, --id, --nearest, --layer");
    }
    if (args.has("-k") && !args.has("--nearest")) throw UsageError("-k goes with --nearest");
    std::optional<std::string> id = args.value("--id");
    if (id && id->size() > 8) throw UsageError("an id has at most 8 characters");
    // Every number is checked before the file is read.
    const std::optional<std::uint64_t> key = args.number("--key"), target = args.number("--nearest"),
                                       layer = args.number("--layer", 255);
    const std::int32_t k = static_cast<std::int32_t>(args.number("-k", INT32_MAX).value_or(5));
    if (k < 1) throw UsageError("-k needs at least 1");
    const std::string& path = args.positional()[0];
    Unit unit(path);
    const zelset_t* u = unit.get();
    ReportList tokens;
    if (key) {
        std::int32_t at = zelset_lookup_morton(u, *key);
        if (at < 0) throw Failure(path, "no token with key " + std::to_string(*key));
        tokens.push_back(token_report(u, static_cast<std::uint32_t>(at)));
    } else if (id) {
        char padded[8] = {};
        std::memcpy(padded, id->data(), id->size());
        std::int32_t at = zelset_lookup_hex(u, padded);
        if (at < 0) throw Failure(path, "no token with id " + *id);
        tokens.push_back(token_report(u, static_cast<std::uint32_t>(at)));
    } else if (target) {
        std::uint32_t room = std::min<std::uint32_t>(static_cast<std::uint32_t>(k), zelset_get_count(u));
        std::vector<std::uint32_t> indices(room);
        std::vector<std::uint64_t> distances(room);
        std::int32_t n = zelset_query_nearest(u, *target, k, indices.data(), distances.data());
        for (std::int32_t i = 0; i < n; ++i) {
            tokens.push_back(token_report(u, indices[i]).add("distance", distances[i]));
        }
    } else {
        std::vector<std::uint32_t> indices(zelset_get_count(u));
        std::int32_t n = zelset_query_layer(u, static_cast<std::uint8_t>(*layer), indices.data(),
                                            static_cast<std::int32_t>(std::min<std::size_t>(indices.size(), INT32_MAX)));
        for (std::int32_t i = 0; i < n; ++i) tokens.push_back(token_report(u, indices[i]));
    }
    Report r;
    r.add("file", path).add("tokens", std::move(tokens));
    r.print(stdout, args.has("--json"));
    return kExitOk;
}

}  // namespace zelset_cli
