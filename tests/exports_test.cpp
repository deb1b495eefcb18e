// Loads the built shared libraries by file name, as a host does, and checks
// their export tables against the expected lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "expected_exports.h"
#include "zelset.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#include <elf.h>
#endif

namespace {

std::vector<std::string> names_of(const char* const* list) {
    std::vector<std::string> out;
    for (; *list; ++list) out.emplace_back(*list);
    return out;
}

std::vector<std::string> expected_exports(bool full) {
    std::vector<std::string> out = names_of(kExportsBoth);
    if (full) {
        std::vector<std::string> extra = names_of(kExportsFullOnly);
        out.insert(out.end(), extra.begin(), extra.end());
    }
    std::sort(out.begin(), out.end());
    return out;
}

#ifdef _WIN32
class Library {
public:
    explicit Library(const char* path) : handle_(LoadLibraryA(path)) {}
    ~Library() { if (handle_) FreeLibrary(handle_); }
    bool loaded() const { return handle_ != nullptr; }
    void* symbol(const char* name) const {
        return reinterpret_cast<void*>(GetProcAddress(handle_, name));
    }
    // The names in the loaded image's export directory.
    std::vector<std::string> exported_functions() const {
        const auto* base = reinterpret_cast<const unsigned char*>(handle_);
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
        std::vector<std::string> out;
        if (dir.Size == 0) return out;
        const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
        const auto* name_rvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
        for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
            out.emplace_back(reinterpret_cast<const char*>(base + name_rvas[i]));
        }
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    HMODULE handle_;
};
#else
class Library {
public:
    explicit Library(const char* path) : path_(path), handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
    ~Library() { if (handle_) dlclose(handle_); }
    bool loaded() const { return handle_ != nullptr; }
    void* symbol(const char* name) const { return dlsym(handle_, name); }
    // Defined global functions of the file's dynamic symbol table; linker
    // symbols such as _edata or __bss_start are not functions and drop out.
    std::vector<std::string> exported_functions() const {
        std::ifstream in(path_, std::ios::binary);
        std::vector<char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> out;
        if (image.size() < sizeof(Elf64_Ehdr)) return out;
        Elf64_Ehdr eh;
        std::memcpy(&eh, image.data(), sizeof eh);
        std::vector<Elf64_Shdr> sections(eh.e_shnum);
        std::memcpy(sections.data(), image.data() + eh.e_shoff, eh.e_shnum * sizeof(Elf64_Shdr));
        for (const Elf64_Shdr& sh : sections) {
            if (sh.sh_type != SHT_DYNSYM) continue;
            const char* strings = image.data() + sections[sh.sh_link].sh_offset;
            for (std::size_t i = 0; i < sh.sh_size / sizeof(Elf64_Sym); ++i) {
                Elf64_Sym sym;
                std::memcpy(&sym, image.data() + sh.sh_offset + i * sizeof sym, sizeof sym);
                bool global = ELF64_ST_BIND(sym.st_info) == STB_GLOBAL || ELF64_ST_BIND(sym.st_info) == STB_WEAK;
                if (global && ELF64_ST_TYPE(sym.st_info) == STT_FUNC && sym.st_shndx != SHN_UNDEF) {
                    out.emplace_back(strings + sym.st_name);
                }
            }
        }
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    std::string path_;
    void* handle_;
};
#endif

template <class Fn>
Fn resolve(const Library& lib, const char* name) {
    return reinterpret_cast<Fn>(lib.symbol(name));
}

TEST(Exports, EachLibraryExportsExactlyItsList) {
    for (bool full : {true, false}) {
        SCOPED_TRACE(full ? "zelset" : "zelset_next");
        Library lib(full ? ZEL_LIB_FULL : ZEL_LIB_NEXT);
        ASSERT_TRUE(lib.loaded());
        std::vector<std::string> expected = expected_exports(full);
        EXPECT_EQ(lib.exported_functions(), expected);
        for (const std::string& name : expected) {
            EXPECT_NE(lib.symbol(name.c_str()), nullptr) << name;
        }
    }
}

TEST(Exports, ZelsetNextLacksTheFullLibraryFunctions) {
    Library next(ZEL_LIB_NEXT);
    ASSERT_TRUE(next.loaded());
    for (const char* const* name = kExportsFullOnly; *name; ++name) {
        EXPECT_EQ(next.symbol(*name), nullptr) << *name;
    }
}

TEST(Exports, BothLibrariesWorkLoadedTogether) {
    Library full(ZEL_LIB_FULL);
    Library next(ZEL_LIB_NEXT);
    ASSERT_TRUE(full.loaded());
    ASSERT_TRUE(next.loaded());
    using Create = int32_t (*)(zelset_t*, uint32_t, const uint64_t*, const uint64_t*, const uint64_t*,
                               const uint8_t*);
    using GetToken = int32_t (*)(const zelset_t*, uint32_t, uint64_t*, uint64_t*, uint8_t*);
    using Free = void (*)(zelset_t*);
    auto create_full = resolve<Create>(full, "zelset_create");
    auto create_next = resolve<Create>(next, "zelset_create");
    ASSERT_NE(create_full, nullptr);
    ASSERT_NE(create_next, nullptr);
    EXPECT_NE(reinterpret_cast<void*>(create_full), reinterpret_cast<void*>(create_next));

    const uint64_t mortons[2] = {7, 3};
    const uint64_t ids[2] = {0x4141414141414141ull, 0x4242424242424242ull};
    const uint64_t sigs[2] = {1, 2};
    const uint8_t layers[2] = {4, 5};
    zelset_t a{}, b{};
    ASSERT_EQ(create_full(&a, 2, mortons, ids, sigs, layers), 0);
    ASSERT_EQ(create_next(&b, 2, mortons, ids, sigs, layers), 0);
    // A unit made by one library is read by the other: same records.
    uint64_t m = 0, id = 0;
    uint8_t layer = 0;
    ASSERT_EQ(resolve<GetToken>(next, "zelset_get_token")(&a, 1, &m, &id, &layer), 0);
    EXPECT_EQ(m, 3u);
    EXPECT_EQ(id, ids[1]);
    EXPECT_EQ(layer, 5);
    resolve<Free>(full, "zelset_free")(&a);
    resolve<Free>(next, "zelset_free")(&b);
    EXPECT_EQ(a.tokens, nullptr);
    EXPECT_EQ(b.tokens, nullptr);
}

}  // namespace
