#include "header.h"

#include <filesystem>

#include "lexer.h"

namespace ibis {

void HeaderRules::Keyword(const KeywordLine& k) {
    const std::vector<std::string>& words = k.words;
    if (k.id == Kw::IbisVer) {
        c_.versionSeen = true;
        const std::optional<int> v = words.empty() ? std::nullopt : ParseVersion(words[0]);
        if (!v) {
            c_.Add(Message::UnknownIbisVersion, k.line,
                   "IBIS version '" + (words.empty() ? std::string() : words[0]) +
                       "' is not one of " + KnownVersionsText());
        } else {
            c_.version = *v;
        }
        if (!c_.options.version.empty()) {
            c_.version = ParseVersion(c_.options.version).value_or(c_.version);
        }
    } else if (k.id == Kw::CommentChar) {
        const std::optional<char> c = words.empty() ? std::nullopt : CommentCharArgument(words[0]);
        if (c) c_.commentChar = *c;
        if (!c)
            c_.Add(Message::CommentCharInvalid, k.line,
                   "[Comment Char] '" + (words.empty() ? "" : words[0]) + "' is not one of " +
                       kCommentChars + " followed by _char");
    } else if (k.id == Kw::FileName) {
        if (words.empty()) {
            c_.Add(Message::MissingValue, k.line, "[File Name] needs a value");
        } else {
            fileName_ = words[0];
            c_.CheckFileName(words[0], k.line);
            const std::string real = std::filesystem::path(c_.name).filename().string();
            if (words[0] != real)
                c_.Add(Message::FileNameDiffers, k.line,
                       "[File Name] " + words[0] + " is not this file's name, " + real);
        }
    } else if (k.id == Kw::FileRev) {
        fileRev_ = true;
        if (words.empty()) c_.Add(Message::MissingValue, k.line, "[File Rev] needs a value");
    } else if (k.id == Kw::End) {
        ended_ = true;
    }
}

void HeaderRules::Data(const DataLine& d) {
    if (d.id == Kw::End) c_.Add(Message::TextAfterEnd, d.line, "text after [End] is ignored");
}

void HeaderRules::Finish() {
    if (c_.kind != Kind::Ibs && c_.kind != Kind::Pkg && c_.kind != Kind::Ebd) return;
    if (!c_.versionSeen) c_.Add(Message::IbisVerMissing, 1, "[IBIS Ver] is missing");
    if (fileName_.empty()) c_.Add(Message::HeaderKeywordMissing, 1, "[File Name] is missing");
    if (!fileRev_) c_.Add(Message::HeaderKeywordMissing, 1, "[File Rev] is missing");
    if (!ended_)
        c_.Add(Message::NoEnd, c_.lastLine, "the file has no [End] (it ends at this line)");
}

}  // namespace ibis
