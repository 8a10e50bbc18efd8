#include "context.h"

#include <cctype>
#include <cmath>
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

void Context::PinNameLength(const std::string& pin, int line) {
    if (pin.size() > 5)
        AddLazily(Message::NameTooLong, line, [&] {
            return "pin name " + pin + " has " + std::to_string(pin.size()) +
                   " characters; a [Pin] name has at most 5";
        });
}

void Context::NameLength(const std::string& what, const std::string& value, int line) {
    const std::size_t limit = version != 0 && version < 42 ? 20 : 40;
    if (value.size() > limit)
        AddLazily(Message::NameTooLong, line, [&] {
            return what + " " + value + " has " + std::to_string(value.size()) +
                   " characters; IBIS " + VersionText(version == 0 ? 72 : version) + " allows " +
                   std::to_string(limit);
        });
}

std::vector<std::string> ValuesAfterName(const std::vector<std::string>& w) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < w.size(); ++i) {
        const std::string& word = w[i];
        std::size_t from = 0;
        if (i == 0) {  // the name, up to its "=" when it touches it
            const std::size_t eq = word.find('=');
            if (eq == std::string::npos) continue;
            from = eq + 1;
        } else if (word[0] == '=') {
            from = 1;
        }
        if (from < word.size()) out.push_back(word.substr(from));
    }
    return out;
}

void Context::CheckSubparameter(const SubparameterDef& def, const std::vector<std::string>& w,
                                int line) {
    const std::vector<std::string> values = ValuesAfterName(w);
    const std::string shown = w[0].substr(0, w[0].find('='));
    if (def.value != SubValue::Text)
        TooManyValues([&] { return std::string(shown); }, values.size(),
                      def.value == SubValue::TypMinMax ? 3 : 1, line);
    if (def.value != SubValue::Text && values.empty()) {
        Add(Message::MissingValue, line,
            shown +
                (def.value == SubValue::TypMinMax ? " needs typ, min and max" : " needs a value"));
        return;
    }
    if (def.value == SubValue::Enumerated) {
        if (!IsEnumeratedValue(def, values[0]))
            Add(Message::EnumeratedValue, line,
                shown + " '" + values[0] + "' is not " + EnumeratedNames(def) +
                    Hint(values[0], EnumeratedList(def)));
        return;
    }
    if (def.value == SubValue::Text) return;
    const bool triple = def.value == SubValue::TypMinMax;
    if (triple && values.size() < 3) {
        Add(Message::MissingValue, line, shown + " needs typ, min and max");
        return;
    }
    if (triple && IsNa(values[0])) Add(Message::TypicalNa, line, "the typical " + shown + " is NA");
    double v[3] = {NAN, NAN, NAN};
    for (std::size_t i = 0; i < (triple ? 3u : 1u); ++i) {
        NumberOrNa(values[i], line, triple, &v[i]);
        if (def.sign == SubSign::NotNegative && v[i] < 0)
            Add(Message::NegativeValue, line, shown + " " + values[i] + " is below zero");
        if (def.sign == SubSign::Positive && !(v[i] > 0) && !std::isnan(v[i]))
            Add(Message::NegativeValue, line,
                shown + " " + values[i] + ": a load resistance is above zero");
    }
    // [C Comp Corner] gives the capacitance of the slow and fast corners
    // under min and max, in whichever order they fall.
    if (triple && def.sign == SubSign::NotNegative && def.owner != Kw::CCompCorner && v[1] > v[2])
        Add(Message::MinAboveMax, line,
            shown + " minimum " + values[1] + " is above its maximum " + values[2]);
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
    // From 7.0 a file name may hold a path below the referencing file's
    // folder: the base name with its extension and the path each have at most
    // 64 characters.
    const std::string path = std::filesystem::path(file).parent_path().string();
    if (v >= 70 && base.size() > 64) why = "a file name has at most 64 characters";
    if (v >= 70 && path.size() > 64) why = "a path name has at most 64 characters";
    if (v < 70 && !path.empty() && path.find("..") == std::string::npos)  // above: 1107
        Add(Message::FileInSubfolder, line,
            "file name '" + file + "': IBIS " + VersionText(v) +
                " keeps referenced files beside the file that names them; folders below it "
                "came with 7.0");
    for (char c : base) {
        if (!(std::isalnum(static_cast<unsigned char>(c)) ||
              std::string("_^$~!#%&-{})(@'`.").find(c) != std::string::npos))
            why = std::string("the character '") + c + "' is not allowed in file names";
    }
    if (!why.empty()) Add(Message::FileNameRules, line, "file name '" + file + "': " + why);
}

bool Context::CheckReferencedFile(const std::string& file, int line, Message missing) {
    if (folder.empty()) return true;
    const std::filesystem::path rel(file);
    const std::string self = std::filesystem::path(name).filename().string();
    for (const auto& part : rel) {
        if (part == ".." || rel.is_absolute()) {
            Add(Message::ReferenceAboveFolder, line, file + " lies above the folder of " + self);
            return false;
        }
    }
    std::error_code ec;
    if (std::filesystem::is_regular_file(std::filesystem::path(folder) / rel, ec)) return true;
    Add(missing, line, file + " does not exist beside " + self);
    return false;
}

std::vector<std::string> NamesAfterKeyword(const std::string& text, Kw id) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string l = text.substr(at, end - at);
        at = end + 1;
        const std::size_t open = l.find('['), close = l.find(']');
        if (open == std::string::npos || close == std::string::npos || close < open) continue;
        const KeywordDef* def = FindKeyword(Normalise(l.substr(open + 1, close - open - 1)));
        if (def == nullptr || def->id != id) continue;
        const std::vector<std::string> after = Split(l.substr(close + 1));
        if (!after.empty()) names.push_back(after[0]);
    }
    return names;
}

}  // namespace ibis
