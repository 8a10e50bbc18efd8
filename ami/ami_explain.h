// What a parse result code means for a text, for people: where the
// parentheses or quotes go wrong, by line ("line 12: '(' is never closed").
#pragma once

#include <string>

std::string ami_explain_failure(const std::string& text, int code);

// The text of an .ami file without its "|" comments (outside double quotes, up
// to the end of each line); line ends stay, so line numbers do too.
std::string ami_strip_comments(const std::string& text);
