#include "generic.h"

#include <cmath>

#include "lexer.h"

namespace ibis {

void GenericRules::Keyword(const KeywordLine& k) {
    schema_ = FindRowSchema(k.id);
    keyword_ = "[" + k.name + "]";
    hasLast_ = false;
    if (schema_ == nullptr || schema_->layout != Layout::KeywordValues) return;
    if (k.words.empty()) {
        c_.Add(Message::MissingValue, k.line, keyword_ + " without its " + schema_->what);
        return;
    }
    Values(k.words, 0, k.line, keyword_);
}

void GenericRules::Data(const DataLine& d) {
    if (schema_ == nullptr) return;
    switch (schema_->layout) {
        case Layout::KeywordValues:
            c_.Add(Message::StrayText, d.line,
                   "'" + d.text + "' belongs to no keyword (" + keyword_ + " takes one line)");
            return;
        case Layout::Subparameters: {
            if (FindSubparameter(schema_->id, d.words[0]) == nullptr) {
                c_.Add(Message::UnknownSubparameter, d.line,
                       d.words[0] + " is not a subparameter of " + keyword_ + " (" +
                           SubparameterNames(schema_->id) + ")" +
                           c_.Hint(d.words[0], SubparameterList(schema_->id)));
                return;
            }
            Values(d.words, 1, d.line, d.words[0] + " of " + keyword_);
            NotBelowZero(*FindSubparameter(schema_->id, d.words[0]), d);
            return;
        }
        case Layout::Rows:
            Values(d.words, 0, d.line, "a row of " + keyword_);
            return;
    }
}

void GenericRules::Values(const std::vector<std::string>& words, std::size_t from, int line,
                          const std::string& where) {
    const int count = static_cast<int>(words.size() - from);
    if (count < schema_->minColumns || (schema_->maxColumns != 0 && count > schema_->maxColumns)) {
        c_.Add(Message::TableRowColumns, line,
               where + " holds " + std::to_string(count) + " value" + (count == 1 ? "" : "s") +
                   "; it holds " + schema_->what);
        return;
    }
    double first = 0;
    bool firstKnown = false;
    for (std::size_t i = from; i < words.size(); ++i)
        if (Cell(words[i], i - from, line, i == from ? &first : nullptr) && i == from)
            firstKnown = true;
    if (!schema_->increasing || !firstKnown) return;
    if (hasLast_ && !(first > last_))
        c_.Add(Message::WaveformTimeOrder, line,
               "the times of " + keyword_ + " do not increase (" + words[from] + ")");
    hasLast_ = true;
    last_ = first;
}

// A delay or a size the subparameter table marks as not below zero.
void GenericRules::NotBelowZero(const SubparameterDef& def, const DataLine& d) {
    if (def.sign != SubSign::NotNegative) return;
    for (std::size_t i = 1; i < d.words.size(); ++i) {
        const std::optional<double> v = IsNa(d.words[i]) ? std::nullopt : Number(d.words[i]);
        if (v && *v < 0)
            c_.Add(Message::NegativeValue, d.line,
                   d.words[0] + " of " + keyword_ + " " + d.words[i] + " is below zero");
    }
}

bool GenericRules::Cell(const std::string& word, std::size_t column, int line, double* out) {
    if (schema_->cell == Cell::Text) return false;
    if (IsNa(word)) {
        if (!schema_->naAfterFirst || column == 0 || (schema_->increasing && column == 1))
            c_.Add(Message::TypicalNa, line,
                   keyword_ + ": NA where a value is required (" + schema_->what + ")");
        return false;
    }
    const std::optional<double> v = Number(word);
    if (!v) {
        c_.Add(Message::NotANumber, line, "'" + word + "' is not a number");
        return false;
    }
    // A count: a whole number from 1 (compared as a double: no conversion
    // of a huge value to an integer).
    if (schema_->cell == Cell::Integer && !(*v >= 1 && std::floor(*v) == *v))
        c_.Add(Message::NotANumber, line, keyword_ + " '" + word + "' is not a count above zero");
    if (out != nullptr) *out = *v;
    return true;
}

}  // namespace ibis
