#include "ogawa_reader/description/transforms.h"

#include <cmath>
#include <cstring>

#include "common/alloc.h"
#include "ogawa_reader/description/geom_params.h"
#include "ogawa_reader/description/object_tree.h"
#include "ogawa_reader/description/samples.h"

namespace zel::desc {
namespace {

using Matrix = double[16];

constexpr double kPi = 3.14159265358979323846;

void set_identity(Matrix m) {
    std::memset(m, 0, sizeof(Matrix));
    for (int i = 0; i < 4; ++i) m[5 * i] = 1.0;
}

// out = a b; out may be a or b.
void multiply(const Matrix a, const Matrix b, Matrix out) {
    Matrix product;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += a[4 * r + k] * b[4 * k + c];
            product[4 * r + c] = sum;
        }
    }
    std::memcpy(out, product, sizeof(Matrix));
}

// Rotation by degrees about the axis (x, y, z), normalised first; a zero
// axis turns nothing.
void set_rotation(double x, double y, double z, double degrees, Matrix m) {
    set_identity(m);
    const double length = std::sqrt(x * x + y * y + z * z);
    if (length == 0.0) return;
    x /= length;
    y /= length;
    z /= length;
    const double a = degrees * (kPi / 180.0);
    const double c = std::cos(a), s = std::sin(a), t = 1.0 - c;
    const double rows[3][3] = {{c + x * x * t, x * y * t + z * s, x * z * t - y * s},
                               {x * y * t - z * s, c + y * y * t, y * z * t + x * s},
                               {x * z * t + y * s, y * z * t - x * s, c + z * z * t}};
    for (int r = 0; r < 3; ++r) {
        for (int col = 0; col < 3; ++col) m[4 * r + col] = rows[r][col];
    }
}

enum Operation : std::uint8_t { kScale, kTranslate, kRotate, kMatrix, kRotateX, kRotateY, kRotateZ };
constexpr std::uint32_t kChannels[] = {3, 3, 4, 16, 1, 1, 1};

// The matrix of one operation from its channels.
void set_operation(Operation op, const double* v, Matrix m) {
    set_identity(m);
    switch (op) {
        case kScale: m[0] = v[0], m[5] = v[1], m[10] = v[2]; break;
        case kTranslate: m[12] = v[0], m[13] = v[1], m[14] = v[2]; break;
        case kRotate: set_rotation(v[0], v[1], v[2], v[3], m); break;
        case kMatrix: std::memcpy(m, v, sizeof(Matrix)); break;
        case kRotateX: set_rotation(1, 0, 0, v[0], m); break;
        case kRotateY: set_rotation(0, 1, 0, v[0], m); break;
        case kRotateZ: set_rotation(0, 0, 1, v[0], m); break;
    }
}

// The values of p's sample nearest to t, all of them (elements times
// extent), when p holds `pod` values; false when damaged or of another type.
bool nearest_values(CachedReader& reader, const Description& d, std::uint32_t p, Pod pod, double t,
                    ValueArray* values, std::uint64_t* count) {
    const PropertyEntry& e = d.properties[p];
    if (e.kind == PropertyKind::kCompound || e.pod != pod) return false;
    const std::uint32_t sample = nearest_sample(d, e, t);
    if (sample == kNone || read_values(reader, e, sample, values) != SampleRead::kRead || values->alloc_failed) {
        return false;
    }
    *count = values->elements * (e.extent == 0 ? 1u : e.extent);
    return true;
}

// The local matrix of an Xform at time t and whether it inherits.
bool local_matrix(CachedReader& reader, const Description& d, std::uint32_t xform, double t, Matrix m,
                  bool* inherits) {
    set_identity(m);
    *inherits = true;
    const std::uint32_t inherits_p = child_named(d, xform, ".inherits");
    if (inherits_p != kNone) {
        ValueArray flag;
        std::uint64_t n;
        if (!nearest_values(reader, d, inherits_p, Pod::kBool, t, &flag, &n)) return false;
        OwnedBlock<unsigned char> owned(static_cast<unsigned char*>(flag.values));
        if (n != 1) return false;
        *inherits = owned.get()[0] != 0;
    }
    const std::uint32_t ops_p = child_named(d, xform, ".ops"), vals_p = child_named(d, xform, ".vals");
    if (ops_p == kNone) return true;
    ValueArray ops, vals;
    std::uint64_t op_count, val_count = 0;
    if (!nearest_values(reader, d, ops_p, Pod::kU8, t, &ops, &op_count)) return false;
    OwnedBlock<unsigned char> owned_ops(static_cast<unsigned char*>(ops.values));
    if (op_count != 0 && (vals_p == kNone || !nearest_values(reader, d, vals_p, Pod::kF64, t, &vals, &val_count))) {
        return false;
    }
    OwnedBlock<double> owned_vals(static_cast<double*>(vals.values));
    std::uint64_t used = 0;
    for (std::uint64_t i = 0; i < op_count; ++i) {
        const unsigned op = owned_ops.get()[i] >> 4;
        if (op > kRotateZ || val_count - used < kChannels[op]) return false;
        Matrix step;
        set_operation(static_cast<Operation>(op), owned_vals.get() + used, step);
        used += kChannels[op];
        multiply(step, m, m);  // the first operation listed is applied last
    }
    return used == val_count;
}

// local_matrix through the archive's cache; only matrices that were read
// whole are kept.
bool cached_local_matrix(CachedReader& reader, Description& d, std::uint32_t xform, double t, Matrix m,
                         bool* inherits) {
    std::uint64_t time_bits;
    std::memcpy(&time_bits, &t, sizeof time_bits);
    LocalMatrixCache::Entry& e = d.local_matrices.entries[(xform * 0x9E3779B9u) >> 26];
    static_assert(LocalMatrixCache::kEntries == 64, "the slot takes the hash's top 6 bits");
    if (e.xform != xform || e.time_bits != time_bits) {
        e.xform = kNone;
        if (!local_matrix(reader, d, xform, t, e.matrix, &e.inherits)) return false;
        e.xform = xform;
        e.time_bits = time_bits;
    }
    std::memcpy(m, e.matrix, sizeof(Matrix));
    *inherits = e.inherits;
    return true;
}

}  // namespace

std::uint32_t nearest_sample(const Description& d, const PropertyEntry& p, double t) {
    if (p.sample_count == 0) return kNone;
    const TimeSampling& s = d.samplings[p.sampling];
    // The first sample at or after t.
    std::uint32_t lo = 0, hi = p.sample_count - 1;
    while (lo < hi) {
        const std::uint32_t mid = lo + (hi - lo) / 2;
        if (sample_time(d, s, mid) < t) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    if (lo == 0 || sample_time(d, s, lo) < t) return lo;
    return sample_time(d, s, lo) - t < t - sample_time(d, s, lo - 1) ? lo : lo - 1;
}

bool world_matrix(CachedReader& reader, Description& d, std::uint32_t object, double t, double out[16]) {
    set_identity(out);
    for (std::uint32_t o = d.nodes[object].parent; o != kNone && o != 0; o = d.nodes[o].parent) {
        if (schema_of(d, o) != OGAWA_SCHEMA_XFORM) continue;
        const std::uint32_t compound = properties_of(reader, d, o);
        if (compound == kNone && shown_of(d, o).property_state != PropertyState::kDecoded) return false;
        const std::uint32_t xform = child_named(d, compound, ".xform");
        if (xform == kNone) continue;
        Matrix local;
        bool inherits;
        if (!cached_local_matrix(reader, d, xform, t, local, &inherits)) return false;
        multiply(out, local, out);
        if (!inherits) break;
    }
    return true;
}

}  // namespace zel::desc
