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
        c_.TooManyValues([&] { return std::string("[IBIS Ver]"); }, words.size(), 1, k.line);
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
            c_.CheckFileName(words[0], k.line);
            const std::string real = std::filesystem::path(c_.name).filename().string();
            if (words[0] != real)
                c_.Add(Message::FileNameDiffers, k.line,
                       "[File Name] " + words[0] + " is not this file's name, " + real);
        }
    } else if (k.id == Kw::FileRev) {
        if (words.empty()) c_.Add(Message::MissingValue, k.line, "[File Rev] needs a value");
    }
}

}  // namespace ibis
