// The file's header: [IBIS Ver], [Comment Char], [File Name], [File Rev], [End].
#pragma once

#include <string>

#include "context.h"

namespace ibis {

class HeaderRules {
public:
    explicit HeaderRules(Context& c) : c_(c) {}
    void Keyword(const KeywordLine& k);

private:
    Context& c_;
};

}  // namespace ibis
