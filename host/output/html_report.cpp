#include "html_report.h"

#include <fstream>
#include <iterator>

#include "output.h"

namespace amihost {

namespace {

const char kStyle[] = R"(<style>
@page { size: A4; margin: 14mm 12mm; }
body { font: 14px/1.4 "DejaVu Sans", Arial, sans-serif; color: #111; margin: 24px auto; max-width: 980px; }
h1 { font-size: 22px; margin: 0 0 4px; }
h2 { font-size: 18px; margin: 24px 0 6px; border-bottom: 1px solid #999; break-after: avoid; }
h3 { font-size: 15px; margin: 14px 0 4px; break-after: avoid; }
table { border-collapse: collapse; margin: 4px 0 10px; }
td, th { border: 1px solid #bbb; padding: 2px 8px; text-align: left; vertical-align: top; }
th { background: #eee; }
td.num { font-family: "DejaVu Sans Mono", monospace; text-align: right; }
code, .cmd { font-family: "DejaVu Sans Mono", monospace; font-size: 12px; word-break: break-all; }
figure { margin: 10px 0 16px; break-inside: avoid; page-break-inside: avoid; }
figure img { display: block; width: 100%; max-width: 900px; height: auto; border: 1px solid #ccc; }
figcaption { font-size: 12px; color: #444; }
ul.warning li { color: #8a5300; }
ul.breach li { color: #a00000; font-weight: bold; }
tr { break-inside: avoid; }
table.data { width: 100%; }
table.data th, table.data td { font-size: 11px; padding: 1px 4px; word-break: break-all; }
@media print { table.data th, table.data td { font-size: 8px; } }
</style>
)";

std::string Cell(const std::string& text, const std::string& cssClass = "",
                 const std::string& path = "") {
    std::string cell = "<td";
    if (!cssClass.empty()) cell += " class=\"" + cssClass + "\"";
    if (!path.empty()) cell += " data-path=\"" + HtmlEscape(path) + "\"";
    return cell + ">" + text + "</td>";
}

// A scalar as the JSON file writes it (strings without their quotes; null as "null").
std::string ScalarText(const nlohmann::json& v) {
    return v.is_string() ? v.get<std::string>()
                         : v.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool IsScalarArray(const nlohmann::json& v) {
    if (!v.is_array()) return false;
    for (const nlohmann::json& item : v)
        if (item.is_object() || item.is_array()) return false;
    return true;
}

}  // namespace

HtmlReport::HtmlReport(std::string title, std::string commandLine, std::string version)
    : title_(std::move(title)),
      commandLine_(std::move(commandLine)),
      version_(std::move(version)) {}

void HtmlReport::AddFacts(const std::string& heading,
                          const std::vector<std::pair<std::string, std::string>>& facts) {
    body_ += "<h2>" + HtmlEscape(heading) + "</h2>\n<table>\n";
    for (const auto& [name, value] : facts)
        body_ += "<tr><th>" + HtmlEscape(name) + "</th>" +
                 Cell("<code>" + HtmlEscape(value) + "</code>") + "</tr>\n";
    body_ += "</table>\n";
}

void HtmlReport::AddJson(const std::string& heading, const nlohmann::json& object,
                         const std::string& path) {
    body_ += "<h2>" + HtmlEscape(heading) + "</h2>\n";
    AddJsonTables(object, path, 0);
}

void HtmlReport::AddJsonTables(const nlohmann::json& object, const std::string& path, int depth) {
    std::string rows;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const nlohmann::json& v = it.value();
        const std::string at = path.empty() ? it.key() : path + "." + it.key();
        if (v.is_object()) continue;
        std::string text;
        if (IsScalarArray(v)) {
            for (std::size_t i = 0; i < v.size(); ++i)
                text +=
                    (i ? (v[i].is_string() ? "<br>" : ", ") : "") + HtmlEscape(ScalarText(v[i]));
            if (v.empty()) text = "(none)";
        } else if (v.is_array()) {
            text = HtmlEscape(v.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
        } else {
            text = HtmlEscape(ScalarText(v));
        }
        rows += "<tr><th>" + HtmlEscape(it.key()) + "</th>" +
                Cell(text,
                     v.is_number() || (v.is_array() && !v.empty() && v[0].is_number()) ? "num" : "",
                     at) +
                "</tr>\n";
    }
    if (!rows.empty()) body_ += "<table>\n" + rows + "</table>\n";
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().is_object()) continue;
        const std::string at = path.empty() ? it.key() : path + "." + it.key();
        body_ += std::string(depth == 0 ? "<h3>" : "<h4>") + HtmlEscape(it.key()) +
                 (depth == 0 ? "</h3>\n" : "</h4>\n");
        AddJsonTables(it.value(), at, depth + 1);
    }
}

void HtmlReport::AddTable(const std::string& heading, const std::vector<std::string>& header,
                          const std::vector<std::vector<std::string>>& rows,
                          const std::string& note) {
    body_ += "<h2>" + HtmlEscape(heading) + "</h2>\n";
    if (!note.empty()) body_ += "<p>" + HtmlEscape(note) + "</p>\n";
    body_ += "<table class=\"data\">\n<tr>";
    for (const std::string& h : header) body_ += "<th>" + HtmlEscape(h) + "</th>";
    body_ += "</tr>\n";
    for (const auto& row : rows) {
        body_ += "<tr>";
        for (const std::string& cell : row) body_ += Cell(HtmlEscape(cell), "num");
        body_ += "</tr>\n";
    }
    body_ += "</table>\n";
}

void HtmlReport::AddPicture(const std::string& path, const std::string& caption) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        body_ += "<p>(" + HtmlEscape(path) + " could not be read)</p>\n";
        return;
    }
    if (bytes.size() < 8 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) {
        body_ += "<p>(" + HtmlEscape(path) + " is not a PNG picture)</p>\n";
        return;
    }
    body_ += "<figure><img alt=\"" + HtmlEscape(caption) + "\" src=\"data:image/png;base64," +
             Base64(bytes) + "\"><figcaption>" + HtmlEscape(caption) + "</figcaption></figure>\n";
}

void HtmlReport::AddList(const std::string& heading, const std::vector<std::string>& items,
                         const std::string& cssClass) {
    if (items.empty()) return;
    body_ += "<h2>" + HtmlEscape(heading) + "</h2>\n<ul" +
             (cssClass.empty() ? "" : " class=\"" + cssClass + "\"") + ">\n";
    for (const std::string& item : items) body_ += "<li>" + HtmlEscape(item) + "</li>\n";
    body_ += "</ul>\n";
}

void HtmlReport::AddParagraph(const std::string& text) {
    body_ += "<p>" + HtmlEscape(text) + "</p>\n";
}

void HtmlReport::AddHeading(const std::string& text) {
    body_ += "<h2>" + HtmlEscape(text) + "</h2>\n";
}

std::string HtmlReport::Html() const {
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
           HtmlEscape(title_) + "</title>\n" + kStyle + "</head>\n<body>\n<h1>" +
           HtmlEscape(title_) + "</h1>\n<p>amihost " + HtmlEscape(version_) +
           "</p>\n<p class=\"cmd\">" + HtmlEscape(commandLine_) + "</p>\n" + body_ +
           "</body>\n</html>\n";
}

Status HtmlReport::Write(const std::string& path) const { return WriteWholeFile(path, Html()); }

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Base64(const std::string& bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 3; ++k)
            v = v << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[(v >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

std::string QuoteCommandLine(int argc, const char* const* argv) {
    std::string line;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        const bool plain = !a.empty() && a.find_first_not_of(
                                             "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                             "0123456789_-+=/.,:@%") == std::string::npos;
        if (!plain) {
            std::string quoted = "'";
            for (const char c : a) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
            a = quoted + "'";
        }
        line += (i ? " " : "") + a;
    }
    return line;
}

}  // namespace amihost
