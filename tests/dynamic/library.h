// A shared library loaded at run time by file name, as a host loads it:
// dlopen / LoadLibrary, symbols by name, and the names its export table lists.
// ZEL_LIB_FULL and ZEL_LIB_NEXT name the two built libraries.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#include <elf.h>
#endif

namespace zel_test {

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

}  // namespace zel_test
