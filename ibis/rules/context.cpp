#include "context.h"

#include <cctype>
#include <filesystem>

#include "lexer.h"

namespace ibis {

void Context::NewerThanDeclared(const std::string& what, int since, int line) {
    if (version != 0 && since > version)
        Add(Message::ModelFeatureTooNew, line,
            what + " needs IBIS " + VersionText(since) + " or later; the file declares " +
                VersionText(version));
}

void Context::NumberOrNa(const std::string& word, int line, bool allowNa, double* out) {
    if (allowNa && IsNa(word)) return;
    const std::optional<double> v = Number(word);
    if (!v) {
        Add(Message::NotANumber, line, "'" + word + "' is not a number");
        return;
    }
    if (out != nullptr) *out = *v;
}

void Context::CheckFileName(const std::string& file, int line) {
    const std::string base = std::filesystem::path(file).filename().string();
    const int v = version == 0 ? 72 : version;
    const std::size_t dot = base.rfind('.');
    const std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : base.substr(dot + 1);
    std::string why;
    if (v < 70 && base != Lower(base))
        why = "IBIS " + VersionText(v) + " file names are lower case";
    // Lengths are a "should" before 7.0: a warning.
    const std::size_t stemLimit = v < 31 ? 8 : v < 42 ? 20 : v < 70 ? 40 : 64;
    if (v < 70 && (stem.size() > stemLimit || ext.size() > 3))
        Add(Message::FileNameLong, line,
            "file name '" + file + "': IBIS " + VersionText(v) +
                " file names should have at most " + std::to_string(stemLimit) +
                " characters, a period and 3 for the extension");
    if (v >= 70 && base.size() > 64) why = "a file name has at most 64 characters";
    for (char c : base) {
        if (!(std::isalnum(static_cast<unsigned char>(c)) ||
              std::string("_^$~!#%&-{})(@'`.").find(c) != std::string::npos))
            why = std::string("the character '") + c + "' is not allowed in file names";
    }
    if (!why.empty()) Add(Message::FileNameRules, line, "file name '" + file + "': " + why);
}

}  // namespace ibis
