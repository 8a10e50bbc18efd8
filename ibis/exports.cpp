// Export tables of ELF (64- and 32-bit, little-endian) and PE (32- and 64-bit)
// shared libraries, read from the file without loading it.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

#include "ibis_check.h"

namespace ibis {

namespace {

template <class T>
bool At(const std::string& data, std::uint64_t offset, T& value) {
    if (offset > data.size() || data.size() - offset < sizeof(T)) return false;
    std::memcpy(&value, data.data() + offset, sizeof(T));
    return true;
}

std::string CString(const std::string& data, std::uint64_t offset) {
    if (offset >= data.size()) return "";
    const std::size_t end = data.find('\0', static_cast<std::size_t>(offset));
    return data.substr(
        static_cast<std::size_t>(offset),
        (end == std::string::npos ? data.size() : end) - static_cast<std::size_t>(offset));
}

bool ElfExports(const std::string& d, std::vector<std::string>& names, std::string& format) {
    const bool is64 = d[4] == 2;
    if (d[5] != 1) return false;  // little-endian only
    std::uint16_t machine = 0;
    At(d, 18, machine);
    format = std::string(is64 ? "elf64" : "elf32") + (machine == 62  ? "-x86-64"
                                                      : machine == 3 ? "-i386"
                                                                     : "-other");
    std::uint64_t shoff = 0;
    std::uint16_t shentsize = 0, shnum = 0;
    if (is64) {
        At(d, 0x28, shoff);
        At(d, 0x3A, shentsize);
        At(d, 0x3C, shnum);
    } else {
        std::uint32_t off32 = 0;
        At(d, 0x20, off32);
        shoff = off32;
        At(d, 0x2E, shentsize);
        At(d, 0x30, shnum);
    }
    struct Section {
        std::uint32_t type = 0, link = 0;
        std::uint64_t offset = 0, size = 0, entsize = 0;
    };
    std::vector<Section> sections;
    for (std::uint16_t i = 0; i < shnum && i < 4096; ++i) {
        const std::uint64_t base = shoff + std::uint64_t{i} * shentsize;
        Section s;
        if (!At(d, base + 4, s.type) || !At(d, base + (is64 ? 40 : 24), s.link)) return false;
        if (is64) {
            At(d, base + 24, s.offset);
            At(d, base + 32, s.size);
            At(d, base + 56, s.entsize);
        } else {
            std::uint32_t v = 0;
            At(d, base + 16, v), s.offset = v;
            At(d, base + 20, v), s.size = v;
            At(d, base + 36, v), s.entsize = v;
        }
        sections.push_back(s);
    }
    for (const Section& s : sections) {
        if (s.type != 11 /* SHT_DYNSYM */ || s.entsize == 0 || s.link >= sections.size()) continue;
        const Section& strings = sections[s.link];
        for (std::uint64_t k = 1; k < s.size / s.entsize && k < 1000000; ++k) {
            const std::uint64_t e = s.offset + k * s.entsize;
            std::uint32_t nameOffset = 0;
            std::uint16_t shndx = 0;
            unsigned char info = 0;
            if (!At(d, e, nameOffset)) break;
            At(d, e + (is64 ? 4 : 12), info);
            At(d, e + (is64 ? 6 : 14), shndx);
            const int bind = info >> 4;
            if (shndx != 0 && (bind == 1 || bind == 2))  // defined, global or weak
                names.push_back(CString(d, strings.offset + nameOffset));
        }
    }
    return true;
}

bool PeExports(const std::string& d, std::vector<std::string>& names, std::string& format) {
    std::uint32_t pe = 0;
    // Every offset read from the file is checked against its size first.
    if (!At(d, 0x3C, pe) || pe > d.size() || d.size() - pe < 4 ||
        d.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
        return false;
    std::uint16_t machine = 0, sectionCount = 0, optionalSize = 0, magic = 0;
    At(d, pe + 4, machine);
    At(d, pe + 6, sectionCount);
    At(d, pe + 20, optionalSize);
    const std::uint64_t opt = pe + 24;
    At(d, opt, magic);
    format = machine == 0x14c ? "pei-i386" : machine == 0x8664 ? "pei-x86-64" : "pei-other";
    std::uint32_t exportRva = 0;
    if (!At(d, opt + (magic == 0x20b ? 112 : 96), exportRva) || exportRva == 0) return true;
    auto fileOffset = [&](std::uint32_t rva, std::uint64_t& out) {
        const std::uint64_t table = opt + optionalSize;
        for (std::uint16_t i = 0; i < sectionCount; ++i) {
            std::uint32_t va = 0, vsize = 0, raw = 0, rawSize = 0;
            const std::uint64_t s = table + std::uint64_t{i} * 40;
            At(d, s + 8, vsize);
            At(d, s + 12, va);
            At(d, s + 16, rawSize);
            At(d, s + 20, raw);
            if (rva >= va && std::uint64_t{rva} < std::uint64_t{va} + std::max(vsize, rawSize)) {
                out = std::uint64_t{raw} + (rva - va);
                return true;
            }
        }
        return false;
    };
    std::uint64_t dir = 0;
    if (!fileOffset(exportRva, dir)) return true;
    std::uint32_t count = 0, namesRva = 0;
    At(d, dir + 24, count);
    At(d, dir + 32, namesRva);
    std::uint64_t namesAt = 0;
    if (!fileOffset(namesRva, namesAt)) return true;
    for (std::uint32_t k = 0; k < count && k < 100000; ++k) {
        std::uint32_t rva = 0;
        std::uint64_t at = 0;
        if (At(d, namesAt + 4ull * k, rva) && fileOffset(rva, at)) names.push_back(CString(d, at));
    }
    return true;
}

}  // namespace

bool ReadExports(const std::string& path, std::vector<std::string>& names, std::string& format) {
    names.clear();
    format.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    const std::string d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (d.size() >= 64 && d.compare(0, 4,
                                    "\x7f"
                                    "ELF") == 0)
        return ElfExports(d, names, format);
    if (d.size() >= 64 && d.compare(0, 2, "MZ") == 0) return PeExports(d, names, format);
    return false;
}

}  // namespace ibis
