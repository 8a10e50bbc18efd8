// ibischeck: checks IBIS (.ibs, .pkg, .ebd) and AMI (.ami) files; one report
// line each, then a summary per file.
// Exit status (the tools' one mapping, status.h): 0 every file passed, 1 any
// failed, 2 a file could not be read or the options are wrong.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <new>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ibis_check.h"
#include "lexer.h"
#include "messages.h"
#include "quality.h"
#include "sarif.h"
#include "spelling.h"
#include "status.h"

#ifndef IBISCHECK_VERSION
#define IBISCHECK_VERSION "unknown"
#endif

namespace {

void Usage(std::FILE* to) {
    std::fprintf(
        to,
        "usage: ibischeck [--json | --format sarif] [--quiet] [--quality] [--ibis-version X.Y] "
        "[--werror] [--max-reports N] [--] FILE...\n"
        "       ibischeck --list-messages\n"
        "       ibischeck --version\n"
        "Checks .ibs, .pkg, .ebd, .ims and .ami files (an .ibs with the files it names).\n"
        "  --json          the reports and summaries as JSON on standard output\n"
        "  --format F      text (the default), json (as --json) or sarif (SARIF 2.1.0\n"
        "                  for code review tools: one run, the messages as rules)\n"
        "  --quiet         the summary only\n"
        "  --quality       also the IBIS Quality checks of each .ibs file (IQ section,\n"
        "                  level, component/model, PASS, FAIL or NOT_CHECKED) and the\n"
        "                  level the file reaches\n"
        "  --ibis-version X.Y  check against IBIS X.Y instead of the file's [IBIS Ver]\n"
        "                  (also --version X.Y)\n"
        "  --version       this program's version\n"
        "  --werror        warnings fail a file too\n"
        "  --max-reports N at most N reports of one message number per file (default\n"
        "                  100; 0: all); the rest are counted in the summary\n"
        "  --list-messages every message number, severity and meaning (Markdown)\n");
}

// The text of an .ibs file for its quality checks; empty for other kinds.
std::string IbsText(const std::string& file) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size < 0) return "";
    std::string text(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    if (!in.read(text.data(), static_cast<std::streamsize>(text.size()))) return "";
    if (ibis::KindOf(file, text) != ibis::Kind::Ibs) return "";
    return text;
}

void QualityText(const std::string& file, const ibis::FileResult& r, bool quiet) {
    const std::string text = IbsText(file);
    if (text.empty()) {
        std::printf("%s: quality levels apply to .ibs files\n", file.c_str());
        return;
    }
    const ibis::IqResult q = ibis::CheckQuality(text, r);
    int counts[3] = {0, 0, 0};
    for (const ibis::IqCheck& c : q.checks) {
        ++counts[static_cast<int>(c.status)];
        if (quiet || c.status == ibis::IqStatus::NotChecked) continue;
        const std::string where = !c.model.empty()       ? " model " + c.model
                                  : !c.component.empty() ? " component " + c.component
                                                         : "";
        std::printf("IQ %s L%d %s%s: %s: %s\n", c.iq.c_str(), c.level, ibis::IqStatusName(c.status),
                    where.c_str(), c.title.c_str(), c.detail.c_str());
    }
    std::printf("%s: %s (%d passed, %d failed; %d not decidable by a program%s%s)\n", file.c_str(),
                q.Score().c_str(), counts[0], counts[1], counts[2],
                q.claimed.empty() ? "" : "; the file states ", q.claimed.c_str());
}

void QualityJson(const std::string& file, const ibis::FileResult& r, nlohmann::json& entry) {
    const std::string text = IbsText(file);
    if (text.empty()) return;
    const ibis::IqResult q = ibis::CheckQuality(text, r);
    nlohmann::json checks = nlohmann::json::array();
    for (const ibis::IqCheck& c : q.checks) {
        nlohmann::json j = {{"iq", c.iq},
                            {"level", c.level},
                            {"title", c.title},
                            {"status", ibis::IqStatusName(c.status)},
                            {"detail", c.detail}};
        if (c.level == 0) j["optional"] = true;
        if (!c.component.empty()) j["component"] = c.component;
        if (!c.model.empty()) j["model"] = c.model;
        checks.push_back(j);
    }
    entry["checks"] = checks;
    entry["iq_level"] = q.Score();
    entry["iq_level_number"] = q.level;
    entry["iq_exceptions"] = q.exceptions;
    if (!q.claimed.empty()) entry["iq_claimed"] = q.claimed;
}

// "N more ..." after a file's reports, for each message number cut short.
std::string OmittedText(const ibis::Omitted& o) {
    return std::string(ibis::SeverityName(o.severity)) + " " + std::to_string(o.number) + " " +
           o.file + ": " + std::to_string(o.count) + " more of this message not shown" +
           " (--max-reports 0 shows every report)";
}

nlohmann::json OmittedJson(const std::vector<ibis::Omitted>& omitted) {
    nlohmann::json out = nlohmann::json::array();
    for (const ibis::Omitted& o : omitted)
        out.push_back({{"severity", ibis::SeverityName(o.severity)},
                       {"number", o.number},
                       {"file", o.file},
                       {"count", o.count}});
    return out;
}

bool ReportLimit(const char* text, int& limit) {
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || n < 0 || n > 1000000000L) return false;
    limit = static_cast<int>(n);
    return true;
}

struct Cli {
    ibis::Options options;
    bool json = false, quiet = false, sarif = false, quality = false;
    std::vector<std::string> files;
};

// Reads one option at argv[i] (and its value, moving i past it). Returns -1
// to go on, else the exit status to end with.
int ReadOption(int argc, char** argv, int& i, Cli& cli) {
    const std::string a = argv[i];
    if (a == "--json") {
        cli.json = true;
    } else if (a == "--format" && i + 1 < argc) {
        const std::string format = argv[++i];
        if (format == "sarif") {
            cli.sarif = true;
        } else if (format == "json") {
            cli.json = true;
        } else if (format != "text") {
            std::fprintf(stderr, "ibischeck: --format takes text, json or sarif, not '%s'\n",
                         format.c_str());
            return tx::ExitStatus(tx::ErrorKind::Usage);
        }
    } else if (a == "--quality") {
        cli.quality = true;
    } else if (a == "--quiet") {
        cli.quiet = true;
    } else if (a == "--werror") {
        cli.options.werror = true;
    } else if (a == "--max-reports") {
        if (i + 1 == argc || !ReportLimit(argv[++i], cli.options.maxReports)) {
            std::fprintf(stderr, "ibischeck: --max-reports needs a whole number, 0 for all\n");
            return tx::ExitStatus(tx::ErrorKind::Usage);
        }
    } else if (a == "--ibis-version" && i + 1 == argc) {
        std::fprintf(stderr, "ibischeck: --ibis-version needs a version, such as 4.2\n");
        return tx::ExitStatus(tx::ErrorKind::Usage);
    } else if (a == "--version" && i + 1 == argc) {
        std::printf("ibischeck %s\n", IBISCHECK_VERSION);
        return tx::kExitSuccess;
    } else if ((a == "--version" || a == "--ibis-version") && i + 1 < argc) {
        cli.options.version = argv[++i];
        if (!ibis::ParseVersion(cli.options.version)) {
            std::fprintf(stderr, "ibischeck: unknown IBIS version '%s' (known: %s)\n",
                         cli.options.version.c_str(), ibis::KnownVersionsText().c_str());
            return tx::ExitStatus(tx::ErrorKind::Usage);
        }
    } else if (a == "--list-messages") {
        std::printf("%s", ibis::MessageTableMarkdown().c_str());
        return tx::kExitSuccess;
    } else if (a == "--help" || a == "-h") {
        Usage(stdout);
        return tx::kExitSuccess;
    } else {
        std::fprintf(stderr, "ibischeck: unknown option %s%s\n", a.c_str(),
                     tx::DidYouMean(a, {"--json", "--format", "--quality", "--quiet", "--werror",
                                        "--max-reports", "--ibis-version", "--version",
                                        "--list-messages", "--help"})
                         .c_str());
        Usage(stderr);
        return tx::ExitStatus(tx::ErrorKind::Usage);
    }
    return -1;
}

// The command line: -1 to go on with `cli`, else the exit status to end with.
int ReadCommandLine(int argc, char** argv, Cli& cli) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--") {  // the rest are files, whatever they begin with
            cli.files.insert(cli.files.end(), argv + i + 1, argv + argc);
            break;
        }
        if (a.empty() || a[0] != '-') {
            cli.files.push_back(a);
        } else if (const int status = ReadOption(argc, argv, i, cli); status >= 0) {
            return status;
        }
    }
    if (cli.files.empty()) {
        Usage(stderr);
        return tx::ExitStatus(tx::ErrorKind::Usage);
    }
    if (cli.sarif && cli.quality) {
        std::fprintf(stderr, "ibischeck: --quality is written as text or --json, not SARIF\n");
        return tx::ExitStatus(tx::ErrorKind::Usage);
    }
    if (cli.sarif && cli.json) {
        std::fprintf(stderr, "ibischeck: choose one of --json and --format sarif\n");
        return tx::ExitStatus(tx::ErrorKind::Usage);
    }
    return -1;
}

nlohmann::json FileJson(const std::string& file, const ibis::FileResult& r, bool quality) {
    nlohmann::json reports = nlohmann::json::array();
    for (const ibis::Report& rep : r.reports)
        reports.push_back({{"severity", ibis::SeverityName(rep.severity)},
                           {"number", rep.number},
                           {"file", rep.file},
                           {"line", rep.line},
                           {"text", rep.text}});
    nlohmann::json entry = {{"file", file},
                            {"reports", reports},
                            {"errors", r.counts[0]},
                            {"warnings", r.counts[1]},
                            {"cautions", r.counts[2]},
                            {"notes", r.counts[3]},
                            {"passed", r.passed}};
    if (!r.omitted.empty()) entry["omitted"] = OmittedJson(r.omitted);
    if (quality) QualityJson(file, r, entry);
    return entry;
}

void FileText(const std::string& file, const ibis::FileResult& r, const Cli& cli) {
    if (!cli.quiet) {
        for (const ibis::Report& rep : r.reports)
            std::printf("%s\n", ibis::FormatReport(rep).c_str());
        for (const ibis::Omitted& o : r.omitted) std::printf("%s\n", OmittedText(o).c_str());
    }
    std::printf("%s: %d error%s, %d warning%s, %d caution%s, %d note%s: %s\n", file.c_str(),
                r.counts[0], r.counts[0] == 1 ? "" : "s", r.counts[1], r.counts[1] == 1 ? "" : "s",
                r.counts[2], r.counts[2] == 1 ? "" : "s", r.counts[3], r.counts[3] == 1 ? "" : "s",
                r.passed ? "passed" : "failed");
    if (cli.quality) QualityText(file, r, cli.quiet);
}

int Run(int argc, char** argv) {
    Cli cli;
    if (const int status = ReadCommandLine(argc, argv, cli); status >= 0) return status;
    bool anyFailed = false, unreadable = false;
    nlohmann::json out = nlohmann::json::array();
    std::vector<ibis::FileResult> all;
    for (const std::string& file : cli.files) {
        const ibis::FileResult r = ibis::CheckFile(file, cli.options);
        if (!r.readable) {
            std::fprintf(stderr, "ibischeck: cannot read %s\n", file.c_str());
            unreadable = true;
            // The machine-read outputs say so too, beside the files read.
            if (cli.sarif) all.push_back(r);
            if (cli.json)
                out.push_back({{"file", file}, {"error", "cannot read"}, {"passed", false}});
            continue;
        }
        anyFailed = anyFailed || !r.passed;
        if (cli.sarif)
            all.push_back(r);
        else if (cli.json)
            out.push_back(FileJson(file, r, cli.quality));
        else
            FileText(file, r, cli);
    }
    // A file's bytes and name need not be UTF-8: such bytes are written as
    // U+FFFD, never a reason to lose the report.
    constexpr auto kReplace = nlohmann::json::error_handler_t::replace;
    if (cli.json) std::printf("%s\n", out.dump(2, ' ', false, kReplace).c_str());
    if (cli.sarif)
        std::printf("%s\n",
                    ibis::SarifLog(all, IBISCHECK_VERSION).dump(2, ' ', false, kReplace).c_str());
    if (unreadable) return tx::ExitStatus(tx::ErrorKind::Io);
    return anyFailed ? tx::ExitStatus(tx::ErrorKind::ModelContract) : tx::kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "ibischeck: out of memory\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ibischeck: internal error: %s\n", e.what());
    }
    return tx::ExitStatus(tx::ErrorKind::Internal);
}
