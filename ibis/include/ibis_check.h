// The IBIS file checker's public interface: .ibs, .pkg and .ebd files keyword
// by keyword, and .ami parameter files through the model's own parameter
// parser. Every finding is a numbered report with a severity; the numbers and
// their meanings are the rules' vocabulary (messages.h), which a caller needs
// only to list them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ibis {

enum class Severity { Error, Warning, Caution, Note };
const char* SeverityName(Severity s);

struct Report {
    int number = 0;
    Severity severity = Severity::Error;
    std::string file;
    int line = 0;
    std::string text;
};

enum class Kind { Ibs, Pkg, Ebd, Ami, Unknown, Ims };  // Ims: an [Interconnect Model Set] file
// By extension, else by content.
Kind KindOf(const std::string& path, std::string_view text);

struct Options {
    std::string version;  // check against this IBIS version instead of [IBIS Ver]
    bool werror = false;  // warnings fail the file too
    // Reports kept of one message number in one file (0: every one); the rest
    // are counted, not kept, so a file that is wrong on every line costs
    // neither memory nor a screenful per line.
    int maxReports = 100;
};

// Reports of one message number in one file beyond Options::maxReports.
struct Omitted {
    int number = 0;
    Severity severity = Severity::Error;
    std::string file;
    int count = 0;
};

struct FileResult {
    std::string file;
    bool readable = true;
    std::vector<Report> reports;   // in file order (referenced files after the line naming them)
    std::vector<Omitted> omitted;  // by file and number
    int counts[4] = {0, 0, 0, 0};  // by Severity, the omitted reports included
    bool passed = true;
};

// Checks a file from disk, following what an .ibs references (package
// models, .ami and executable files, board descriptions) relative to its folder.
FileResult CheckFile(const std::string& path, const Options& options);
// Checks text as a file named `name` of the given kind; referenced files are
// looked up in `folder` (empty: not followed).
FileResult CheckText(const std::string& name, std::string_view text, Kind kind,
                     const Options& options, const std::string& folder);

// "SEVERITY NUMBER FILE:LINE: text".
std::string FormatReport(const Report& r);

// What amihost needs from an .ibs: the [Algorithmic Model] lines of each model.
struct ExecutableLine {
    std::string model;     // the [Model] holding it
    std::string platform;  // platform_compiler_bits
    std::string executable, amiFile;
    int line = 0;
    std::string half;  // a repeater's "Rx" or "Tx" (Executable_Rx, Executable_Tx); else empty
};
struct IbsModels {
    std::vector<std::string> components;                         // and the boards an .ebd describes
    std::vector<std::pair<std::string, std::string>> pinModels;  // component, model name
    std::vector<std::pair<std::string, std::string>> pins;       // component (board), pin
    std::vector<ExecutableLine> executables;
};
IbsModels ReadAlgorithmicModels(const std::string& text);

// The exported symbol names of an ELF or PE shared library, read from its
// export table without loading it; false when the file is neither.
bool ReadExports(const std::string& path, std::vector<std::string>& names, std::string& format);

}  // namespace ibis
