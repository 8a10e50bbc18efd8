#include "sarif.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "messages.h"

namespace ibis {

const char* SarifLevel(Severity s) {
    switch (s) {
        case Severity::Error:
            return "error";
        case Severity::Warning:
            return "warning";
        case Severity::Caution:
        case Severity::Note:
            return "note";
    }
    return "note";
}

std::string SarifUri(const std::string& path) {
    std::string uri;
    for (const char c : path) {
        const auto u = static_cast<unsigned char>(c);
        const bool unreserved = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                                (u >= '0' && u <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~' || c == '/';
        if (unreserved) {
            uri += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", u);
            uri += hex;
        }
    }
    return uri;
}

namespace {

nlohmann::json Rule(const MessageDef& m) {
    const std::string id = std::to_string(static_cast<int>(m.id));
    const std::string meaning = m.meaning;
    return {{"id", id},
            {"name", "IBIS" + id},
            {"shortDescription", {{"text", meaning}}},
            {"fullDescription",
             {{"text", std::string(SeverityName(m.severity)) + " " + id + " (" + m.section +
                           "): " + meaning}}},
            {"help",
             {{"text", "ibischeck message " + id + ", " + SeverityName(m.severity) + " in the " +
                           m.section + " rules: " + meaning +
                           ". ibischeck --list-messages lists every message."}}},
            {"defaultConfiguration", {{"level", SarifLevel(m.severity)}}},
            {"properties", {{"section", m.section}}}};
}

}  // namespace

nlohmann::json SarifLog(const std::vector<FileResult>& results, const std::string& toolVersion) {
    nlohmann::json rules = nlohmann::json::array();
    std::map<int, std::size_t> ruleIndex;
    for (const MessageDef& m : MessageTable()) {
        ruleIndex[static_cast<int>(m.id)] = rules.size();
        rules.push_back(Rule(m));
    }
    nlohmann::json findings = nlohmann::json::array();
    for (const FileResult& file : results) {
        for (const Report& r : file.reports) {
            nlohmann::json result = {
                {"ruleId", std::to_string(r.number)},
                {"level", SarifLevel(r.severity)},
                {"message", {{"text", r.text}}},
                {"locations",
                 {{{"physicalLocation",
                    {{"artifactLocation", {{"uri", SarifUri(r.file)}}},
                     {"region", {{"startLine", std::max(1, r.line)}, {"startColumn", 1}}}}}}}}};
            const auto at = ruleIndex.find(r.number);
            if (at != ruleIndex.end()) result["ruleIndex"] = at->second;
            findings.push_back(result);
        }
    }
    // Reports cut short by --max-reports: one notification per file and number.
    nlohmann::json notifications = nlohmann::json::array();
    bool readAll = true;
    for (const FileResult& file : results) {
        // A file that could not be read: the run did not do what it was asked.
        if (!file.readable) {
            readAll = false;
            notifications.push_back(
                {{"level", "error"},
                 {"message", {{"text", "cannot read " + file.file}}},
                 {"locations",
                  {{{"physicalLocation",
                     {{"artifactLocation", {{"uri", SarifUri(file.file)}}}}}}}}});
        }
        for (const Omitted& o : file.omitted) {
            nlohmann::json rule = {{"id", std::to_string(o.number)}};
            const auto at = ruleIndex.find(o.number);
            if (at != ruleIndex.end()) rule["index"] = at->second;
            notifications.push_back(
                {{"level", SarifLevel(o.severity)},
                 {"message",
                  {{"text", std::to_string(o.count) + " more results of rule " +
                                std::to_string(o.number) + " not shown (--max-reports)"}}},
                 {"associatedRule", rule},
                 {"locations",
                  {{{"physicalLocation", {{"artifactLocation", {{"uri", SarifUri(o.file)}}}}}}}}});
        }
    }
    nlohmann::json driver = {{"name", "ibischeck"},
                             {"version", toolVersion},
                             {"semanticVersion", toolVersion},
                             {"rules", rules}};
    nlohmann::json run = {{"tool", {{"driver", driver}}}, {"results", findings}};
    if (!notifications.empty())
        run["invocations"] = {
            {{"executionSuccessful", readAll}, {"toolExecutionNotifications", notifications}}};
    return {{"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
            {"version", "2.1.0"},
            {"runs", {run}}};
}

}  // namespace ibis
