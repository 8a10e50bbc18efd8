// What a parse result code means for a text, for people: where the
// parentheses or quotes go wrong, by line ("line 12: '(' is never closed").
#pragma once

#include <string>

std::string ami_explain_failure(const std::string& text, int code);
