// What the checker's tests share: reading a file, checking a text as the
// command would, the reports as text, and editing a clean file.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "ibis_check.h"

namespace check_support {

inline std::string Read(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline const std::filesystem::path kFiles =
    std::filesystem::path(TX_SOURCE_DIR) / "tests/ibis/files";

inline ibis::FileResult Check(const std::string& name, const std::string& text,
                              const std::string& version = "") {
    ibis::Options o;
    o.version = version;
    return ibis::CheckText(name, text, ibis::KindOf(name, text), o, "");
}

inline std::string Dump(const ibis::FileResult& r) {
    std::string out;
    for (const ibis::Report& rep : r.reports) out += ibis::FormatReport(rep) + "\n";
    return out;
}

// The 1-based line of the first occurrence of `marker` in `text`.
inline int LineOf(const std::string& text, const std::string& marker) {
    const std::size_t at = text.find(marker);
    EXPECT_NE(at, std::string::npos) << marker;
    return at == std::string::npos
               ? -1
               : 1 + static_cast<int>(
                         std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
}

inline std::string Edit(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

}  // namespace check_support
