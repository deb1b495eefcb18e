// zelset query UNIT.zel (--key K | --id ID | --nearest K [-k N] | --layer L) [--json]
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "failure.h"
#include "report.h"
#include "unit_file.h"
#include "zelset.h"

namespace zelset_cli {

namespace {

constexpr std::size_t kIdLength = 8;

struct QueryRequest {
    std::string path;
    std::string key, id, nearest, layer;  // the one given is not empty
    std::string k = "5";
    bool json = false;
};

Report token_report(const zelset_t* unit, std::uint32_t index) {
    const zel_token_t& t = unit->tokens[index];
    char id[kIdLength + 1] = {};
    std::memcpy(id, t.hex_id, kIdLength);
    // Copies: a field of the packed record binds to no reference.
    const std::uint64_t key = t.morton, signature = t.signature;
    const std::uint32_t layer = t.layer;
    return {{"index", index}, {"key", key}, {"id", id}, {"signature", signature}, {"layer", layer}};
}

int run_query(const QueryRequest& q) {
    if (q.key.empty() + q.id.empty() + q.nearest.empty() + q.layer.empty() != 3) {
        throw UsageError("query takes exactly one of --key, --id, --nearest, --layer");
    }
    Unit unit(q.path);
    const zelset_t* u = unit.get();
    Report tokens = Report::array();
    if (!q.key.empty()) {
        std::int32_t at = zelset_lookup_morton(u, to_unsigned(q.key));
        if (at < 0) throw Failure(q.path, "no token with key " + q.key);
        tokens.push_back(token_report(u, static_cast<std::uint32_t>(at)));
    } else if (!q.id.empty()) {
        char padded[kIdLength] = {};
        std::memcpy(padded, q.id.data(), q.id.size());
        std::int32_t at = zelset_lookup_hex(u, padded);
        if (at < 0) throw Failure(q.path, "no token with id " + q.id);
        tokens.push_back(token_report(u, static_cast<std::uint32_t>(at)));
    } else if (!q.nearest.empty()) {
        const auto k = static_cast<std::int32_t>(to_unsigned(q.k));
        std::uint32_t room = std::min<std::uint32_t>(static_cast<std::uint32_t>(k), zelset_get_count(u));
        std::vector<std::uint32_t> indices(room);
        std::vector<std::uint64_t> distances(room);
        std::int32_t n = zelset_query_nearest(u, to_unsigned(q.nearest), k, indices.data(), distances.data());
        for (std::int32_t i = 0; i < n; ++i) {
            Report token = token_report(u, indices[i]);
            token["distance"] = distances[i];
            tokens.push_back(std::move(token));
        }
    } else {
        std::vector<std::uint32_t> indices(zelset_get_count(u));
        std::int32_t n =
            zelset_query_layer(u, static_cast<std::uint8_t>(to_unsigned(q.layer)), indices.data(),
                               static_cast<std::int32_t>(std::min<std::size_t>(indices.size(), INT32_MAX)));
        for (std::int32_t i = 0; i < n; ++i) tokens.push_back(token_report(u, indices[i]));
    }
    print_report({{"file", q.path}, {"tokens", std::move(tokens)}}, q.json);
    return kExitOk;
}

}  // namespace

Runner add_query(CLI::App& app) {
    CLI::App* command = app.add_subcommand("query", "Tokens of a unit file by key, id, nearness or layer");
    auto q = std::make_shared<QueryRequest>();
    command->add_option("UNIT.zel", q->path, "The unit file")->required();
    // Every number is checked before the file is read.
    const char* const lookup = "Lookup (exactly one)";
    command->add_option("--key", q->key, "The token whose key is K")
        ->check(unsigned_number(0, UINT64_MAX))
        ->type_name("K")
        ->group(lookup);
    command->add_option("--id", q->id, "The token whose id is ID (up to 8 characters)")
        ->check(CLI::Validator(
            [](std::string& id) -> std::string {
                return id.size() <= kIdLength ? std::string() : "an id has at most 8 characters";
            },
            "", "id"))
        ->type_name("ID")
        ->group(lookup);
    CLI::Option* nearest = command->add_option("--nearest", q->nearest, "The N tokens whose keys lie nearest to K")
                               ->check(unsigned_number(0, UINT64_MAX))
                               ->type_name("K")
                               ->group(lookup);
    command->add_option("--layer", q->layer, "Every token of layer L")
        ->check(unsigned_number(0, 255))
        ->type_name("L")
        ->group(lookup);
    command->add_option("-k", q->k, "How many tokens --nearest gives (default: 5)")
        ->check(unsigned_number(1, INT32_MAX))
        ->type_name("N")
        ->needs(nearest);
    command->add_flag("--json", q->json, "One JSON document instead of text");
    command->footer(
        "Each token is given with its index in the unit (sorted by key), key, id, signature and layer.\n"
        "--nearest adds each token's distance: the square root of |key - K|, rounded down, computed in\n"
        "single precision as the library does (it may exceed the exact root by one). The tokens come in\n"
        "ascending distance; equal distances in no particular order.\n"
        "A key or id that is not there is exit 1.");
    return [q] { return run_query(*q); };
}

}  // namespace zelset_cli
