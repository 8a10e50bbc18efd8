// ibischeck: checks IBIS (.ibs, .pkg, .ebd) and AMI (.ami) files; one report
// line each, then a summary per file.
// Exit status: 0 every file passed, 1 any failed, 2 a file could not be read
// or the options are wrong.
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ibis_check.h"
#include "sarif.h"

#ifndef IBISCHECK_VERSION
#define IBISCHECK_VERSION "unknown"
#endif

namespace {

void Usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: ibischeck [--json | --format sarif] [--quiet] [--ibis-version X.Y] "
                 "[--werror] FILE...\n"
                 "       ibischeck --list-messages\n"
                 "       ibischeck --version\n"
                 "Checks .ibs, .pkg, .ebd and .ami files (an .ibs with the files it names).\n"
                 "  --json          the reports and summaries as JSON on standard output\n"
                 "  --format F      text (the default), json (as --json) or sarif (SARIF 2.1.0\n"
                 "                  for code review tools: one run, the messages as rules)\n"
                 "  --quiet         the summary only\n"
                 "  --ibis-version X.Y  check against IBIS X.Y instead of the file's [IBIS Ver]\n"
                 "                  (also --version X.Y)\n"
                 "  --version       this program's version\n"
                 "  --werror        warnings fail a file too\n"
                 "  --list-messages every message number, severity and meaning (Markdown)\n");
}

}  // namespace

int main(int argc, char** argv) {
    ibis::Options options;
    bool json = false, quiet = false, sarif = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--json") {
            json = true;
        } else if (a == "--format" && i + 1 < argc) {
            const std::string format = argv[++i];
            if (format == "sarif") {
                sarif = true;
            } else if (format == "json") {
                json = true;
            } else if (format != "text") {
                std::fprintf(stderr, "ibischeck: --format takes text, json or sarif, not '%s'\n",
                             format.c_str());
                return 2;
            }
        } else if (a == "--quiet") {
            quiet = true;
        } else if (a == "--werror") {
            options.werror = true;
        } else if (a == "--ibis-version" && i + 1 == argc) {
            std::fprintf(stderr, "ibischeck: --ibis-version needs a version, such as 4.2\n");
            return 2;
        } else if (a == "--version" && i + 1 == argc) {
            std::printf("ibischeck %s\n", IBISCHECK_VERSION);
            return 0;
        } else if ((a == "--version" || a == "--ibis-version") && i + 1 < argc) {
            options.version = argv[++i];
            static const char* kKnown[] = {"1.1", "2.0", "2.1", "3.0", "3.1", "3.2", "4.0", "4.1",
                                           "4.2", "5.0", "5.1", "6.0", "6.1", "7.0", "7.1", "7.2"};
            bool known = false;
            for (const char* k : kKnown) known = known || options.version == k;
            if (!known) {
                std::fprintf(stderr, "ibischeck: unknown IBIS version '%s'\n",
                             options.version.c_str());
                return 2;
            }
        } else if (a == "--list-messages") {
            std::printf("%s", ibis::MessageTableMarkdown().c_str());
            return 0;
        } else if (a == "--help" || a == "-h") {
            Usage(stdout);
            return 0;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "ibischeck: unknown option %s\n", a.c_str());
            Usage(stderr);
            return 2;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        Usage(stderr);
        return 2;
    }
    if (sarif && json) {
        std::fprintf(stderr, "ibischeck: choose one of --json and --format sarif\n");
        return 2;
    }
    bool anyFailed = false, unreadable = false;
    nlohmann::json out = nlohmann::json::array();
    std::vector<ibis::FileResult> all;
    for (const std::string& file : files) {
        const ibis::FileResult r = ibis::CheckFile(file, options);
        if (!r.readable) {
            std::fprintf(stderr, "ibischeck: cannot read %s\n", file.c_str());
            unreadable = true;
            continue;
        }
        anyFailed = anyFailed || !r.passed;
        if (sarif) {
            all.push_back(r);
            continue;
        }
        if (json) {
            nlohmann::json reports = nlohmann::json::array();
            for (const ibis::Report& rep : r.reports)
                reports.push_back({{"severity", ibis::SeverityName(rep.severity)},
                                   {"number", rep.number},
                                   {"file", rep.file},
                                   {"line", rep.line},
                                   {"text", rep.text}});
            out.push_back({{"file", file},
                           {"reports", reports},
                           {"errors", r.counts[0]},
                           {"warnings", r.counts[1]},
                           {"cautions", r.counts[2]},
                           {"notes", r.counts[3]},
                           {"passed", r.passed}});
            continue;
        }
        if (!quiet)
            for (const ibis::Report& rep : r.reports)
                std::printf("%s\n", ibis::FormatReport(rep).c_str());
        std::printf("%s: %d error%s, %d warning%s, %d caution%s, %d note%s: %s\n", file.c_str(),
                    r.counts[0], r.counts[0] == 1 ? "" : "s", r.counts[1],
                    r.counts[1] == 1 ? "" : "s", r.counts[2], r.counts[2] == 1 ? "" : "s",
                    r.counts[3], r.counts[3] == 1 ? "" : "s", r.passed ? "passed" : "failed");
    }
    if (json) std::printf("%s\n", out.dump(2).c_str());
    if (sarif) std::printf("%s\n", ibis::SarifLog(all, IBISCHECK_VERSION).dump(2).c_str());
    if (unreadable) return 2;
    return anyFailed ? 1 : 0;
}
