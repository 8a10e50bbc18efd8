// The file's header: [IBIS Ver], [Comment Char], [File Name], [File Rev], [End].
#pragma once

#include <string>

#include "context.h"

namespace ibis {

class HeaderRules {
public:
    explicit HeaderRules(Context& c) : c_(c) {}
    void Keyword(const KeywordLine& k);
    void Data(const DataLine& d);
    // The header keywords every .ibs, .pkg and .ebd needs.
    void Finish();

private:
    Context& c_;
    std::string fileName_;
    bool fileRev_ = false, ended_ = false;
};

}  // namespace ibis
