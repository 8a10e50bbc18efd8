// One self-contained HTML file of a command's results, to send to someone:
// the command line and versions, what was run, its numbers in tables, its
// pictures embedded (no network, no script needed to read it), warnings and
// contract breaches. It prints to A4 with no picture cut between pages.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "link/result.h"

namespace amihost {

class HtmlReport {
public:
    HtmlReport(std::string title, std::string commandLine, std::string version);

    // A two-column table of what was run (model, channel, stimulus, ...).
    void AddFacts(const std::string& heading,
                  const std::vector<std::pair<std::string, std::string>>& facts);
    // Every member of a JSON object as tables: its plain values in one, each
    // object within it under its own heading. Each value's cell carries its
    // dotted path (data-path) and the value as the JSON file writes it.
    void AddJson(const std::string& heading, const nlohmann::json& object,
                 const std::string& path = "");
    // A table with a header row; each cell as given.
    void AddTable(const std::string& heading, const std::vector<std::string>& header,
                  const std::vector<std::vector<std::string>>& rows, const std::string& note = "");
    // A PNG file embedded with its caption; a file that cannot be read is
    // named in the page instead.
    void AddPicture(const std::string& path, const std::string& caption);
    // Warnings, breaches: one line each (nothing when empty).
    void AddList(const std::string& heading, const std::vector<std::string>& items,
                 const std::string& cssClass = "");
    void AddParagraph(const std::string& text);
    void AddHeading(const std::string& text);

    std::string Html() const;
    Status Write(const std::string& path) const;

private:
    void AddJsonTables(const nlohmann::json& object, const std::string& path, int depth);
    std::string title_, commandLine_, version_, body_;
};

// Text safe inside HTML.
std::string HtmlEscape(const std::string& text);
// RFC 4648 base64.
std::string Base64(const std::string& bytes);
// A command line as one would type it again (arguments quoted where needed).
std::string QuoteCommandLine(int argc, const char* const* argv);

}  // namespace amihost
