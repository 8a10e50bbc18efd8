// What every section's rules share while one file is checked: the file, the
// declared version, where the reading is, and the reports.
#pragma once

#include <string>
#include <vector>

#include "ibis_check.h"
#include "keywords.h"
#include "messages.h"
#include "spelling.h"
#include "subparameters.h"

namespace ibis {

struct Context {
    std::string name;  // the file as named by the caller
    Kind kind = Kind::Unknown;
    Options options;
    std::string folder;  // where referenced files are looked up; empty: not followed
    int version = 0;     // ten times the declared (or forced) version; 0 until known
    bool versionSeen = false;
    char commentChar = '|';
    Scope scope = Scope::File;
    int lastLine = 1;  // the last line read so far (where the file ends, once read)
    std::vector<Report> reports;
    ReportCap cap;    // Options::maxReports of each message number
    tx::Hints hints;  // "did you mean", within the file's budget

    // "; did you mean X?" for a name `word` near one of `candidates`.
    std::string Hint(const std::string& word, const std::vector<std::string>& candidates,
                     const std::string& open = "", const std::string& close = "") {
        return hints.DidYouMean(word, candidates, open, close);
    }

    void Add(Message id, int line, const std::string& text) {
        cap.Add(reports, id, name, line, text);
    }
    // The same, the text written only for a report that is kept (for the
    // reports a file may give on every line).
    template <class Text>
    void AddLazily(Message id, int line, const Text& text) {
        if (cap.Admit(id, name)) reports.push_back(MakeReport(id, name, line, text()));
    }
    // Reports `what` when the version it needs (0: any) is above the declared one.
    void NewerThanDeclared(const std::string& what, int since, int line);
    // A number (NA allowed when `allowNa`), stored in *out when it is one.
    void NumberOrNa(const std::string& word, int line, bool allowNa, double* out = nullptr);
    // A line giving more values than its layout holds: `what()` names them,
    // written only when reported (it runs for every row of a file).
    template <class What>
    void TooManyValues(const What& what, std::size_t given, std::size_t most, int line) {
        if (given > most)
            Add(Message::TableRowColumns, line,
                what() + " gives " + std::to_string(given) + " values; it holds " +
                    std::to_string(most));
    }
    // A pin name of at most 5 characters; a signal or model name of at most
    // 20 before IBIS 4.2 and 40 from it. `what` names the column.
    void PinNameLength(const std::string& pin, int line);
    void NameLength(const std::string& what, const std::string& value, int line);
    // A subparameter line's values as its schema entry says: one of its
    // values (Enumerated), a number (Number), typ, min and max (TypMinMax;
    // typ not NA, min not above max for sizes), of the sign it allows.
    void CheckSubparameter(const SubparameterDef& def, const std::vector<std::string>& words,
                           int line);
    // The file-name rules of the declared version.
    void CheckFileName(const std::string& file, int line);
    // A file this one names: inside its folder and there (when the folder is
    // followed), else `missing` is reported. False when a fault was reported.
    bool CheckReferencedFile(const std::string& file, int line,
                             Message missing = Message::ReferencedFileMissing);
};

// The names a text gives after each `id` keyword ("[Define Package Model]
// pkg_b"), whatever the blanks, in text order.
std::vector<std::string> NamesAfterKeyword(const std::string& text, Kw id);

// The words after a subparameter's name: "Name = v", "Name=v" or "Name v".
std::vector<std::string> ValuesAfterName(const std::vector<std::string>& words);

// A keyword line as the rules see it.
struct KeywordLine {
    const std::string& name;  // as written
    const std::string& key;   // normalised
    const std::string& args;  // the text after "]"
    const std::vector<std::string>& words;
    int line;
    Kw id;
};

// A data line under keyword `key`.
struct DataLine {
    const std::string& key;
    const std::string& text;
    const std::vector<std::string>& words;  // never empty
    int line;
    Kw id;
};

}  // namespace ibis
