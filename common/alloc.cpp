#include "alloc.h"

#include <cstdlib>

namespace zel {

#ifdef ZEL_ALLOC_FAILURE_INJECTION
namespace {
std::uint64_t g_fail_countdown = 0;  // test builds only; 0 = disarmed

bool injected_failure() {
    if (g_fail_countdown == 0) return false;
    return --g_fail_countdown == 0;
}
}  // namespace

void alloc_fail_nth(std::uint64_t nth) { g_fail_countdown = nth; }
bool alloc_failure_pending() { return g_fail_countdown != 0; }
#else
static constexpr bool injected_failure() { return false; }
#endif

bool allocation_allowed() { return !injected_failure(); }

void* alloc_bytes(std::size_t bytes) {
    if (injected_failure()) return nullptr;
    return std::malloc(bytes == 0 ? 1 : bytes);
}

void* alloc_zeroed(std::size_t count, std::size_t size) {
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    if (injected_failure()) return nullptr;
    if (count == 0 || size == 0) return std::calloc(1, 1);
    return std::calloc(count, size);
}

void* realloc_array(void* block, std::size_t count, std::size_t size) {
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    if (injected_failure()) return nullptr;
    std::size_t bytes = count * size;
    return std::realloc(block, bytes == 0 ? 1 : bytes);
}

}  // namespace zel
