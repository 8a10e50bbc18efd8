#include "package.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "lexer.h"

namespace ibis {

namespace {

// A count: digits only ("3", not "3.5" or "three").
bool IsCount(const std::string& text) {
    return !text.empty() && text.size() < 10 &&
           std::all_of(text.begin(), text.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
}

}  // namespace

// A matrix keyword: its form, and a fresh start for its rows.
void PackageRules::OpenMatrix(const KeywordLine& k) {
    const std::vector<std::string>& words = k.words;
    const int line = k.line;
    const std::string form = words.empty() ? "" : Lower(words[0]);
    matrixForm_ = form == "banded_matrix"   ? "Banded_matrix"
                  : form == "sparse_matrix" ? "Sparse_matrix"
                  : form == "full_matrix"   ? "Full_matrix"
                                            : (words.empty() ? "" : words[0]);
    matrixName_ = k.name;
    matrixLine_ = line;
    matrixRows_.clear();
    capacitance_ = k.id == Kw::CapacitanceMatrix;
    inductance_ = k.id == Kw::InductanceMatrix;
    couplingReported_ = false;
    const std::size_t pins = packages_.empty() ? 0 : packages_.back().pins.size();
    diagonal_.assign(pins, std::nan(""));
    couplingBound_.assign(pins, 0.0);
    bandwidth_ = -1;
    if (matrixForm_ != "Banded_matrix" && matrixForm_ != "Sparse_matrix" &&
        matrixForm_ != "Full_matrix")
        c_.Add(Message::MatrixForm, line,
               "[" + k.name + "] form '" + matrixForm_ +
                   "' is not Banded_matrix, Sparse_matrix or Full_matrix");
}

// A [Row]: its pin among [Pin Numbers], once per matrix.
void PackageRules::OpenRow(const KeywordLine& k) {
    const std::vector<std::string>& words = k.words;
    const int line = k.line;
    rowPin_ = words.empty() ? "" : words[0];
    rowIndex_ = -1;
    if (matrixName_.empty()) {
        // A [Row] belongs to the matrix keyword above it.
        c_.Add(Message::KeywordOutOfSection, line,
               "[Row] stands outside a [Resistance Matrix], [Inductance Matrix] or "
               "[Capacitance Matrix]");
        matrixForm_.clear();
    } else if (!packages_.empty()) {
        const auto& index = packages_.back().pinIndex;
        const auto at = index.find(rowPin_);
        if (at == index.end()) {
            c_.Add(Message::MatrixEntry, line, "[Row] " + rowPin_ + " is not in [Pin Numbers]");
        } else {
            rowIndex_ = at->second;
            if (!matrixRows_.insert(rowIndex_).second)
                c_.Add(Message::MatrixEntry, line,
                       "[Row] " + rowPin_ + " appears twice in [" + matrixName_ + "]");
        }
    }
    if (matrixForm_ == "Banded_matrix" && bandwidth_ < 0)
        c_.Add(Message::MatrixEntry, line, "a Banded_matrix needs its [Bandwidth] before its rows");
    rowValues_ = 0;
    rowSparsePins_.clear();
    rowEntries_.clear();
    rowLine_ = line;
}

void PackageRules::Keyword(const KeywordLine& k) {
    const std::vector<std::string>& words = k.words;
    const int line = k.line;
    ClosePinSections();
    // A count, a pin or a matrix form: one word on the keyword's line.
    if (k.id == Kw::Row || k.id == Kw::NumberOfPins || k.id == Kw::Bandwidth ||
        k.id == Kw::ResistanceMatrix || k.id == Kw::InductanceMatrix ||
        k.id == Kw::CapacitanceMatrix)
        c_.TooManyValues([&] { return std::string("[" + k.name + "]"); }, words.size(), 1, line);
    if (k.id == Kw::Row) {
        CloseRow();
    } else if (k.id != Kw::Bandwidth) {
        CloseMatrix();
    }
    if (k.id == Kw::NumberOfSections) {
        sectionsDeclared_ =
            words.size() == 1 && IsCount(words[0]) ? std::atoi(words[0].c_str()) : -1;
    } else if (k.id == Kw::DefinePackageModel) {
        sectionsDeclared_ = -1;
        if (words.empty())
            c_.Add(Message::MissingValue, line, "[Define Package Model] needs a name");
        PackageInfo p;
        p.name = words.empty() ? "" : words[0];
        p.line = line;
        packages_.push_back(p);
    } else if (k.id == Kw::Manufacturer || k.id == Kw::Oem || k.id == Kw::Description) {
        if (words.empty()) c_.Add(Message::MissingValue, line, "[" + k.name + "] needs a value");
    } else if (k.id == Kw::NumberOfPins) {
        const int n = words.empty() || !IsCount(words[0]) ? -1 : std::atoi(words[0].c_str());
        if (n < 0) c_.Add(Message::MissingValue, line, "[Number Of Pins] needs a count");
        if (!packages_.empty()) {
            packages_.back().pinCount = n;
            packages_.back().pinCountLine = line;
        }
    } else if (k.id == Kw::ResistanceMatrix || k.id == Kw::InductanceMatrix ||
               k.id == Kw::CapacitanceMatrix) {
        OpenMatrix(k);
    } else if (k.id == Kw::Bandwidth) {
        if (bandwidth_ >= 0)
            c_.Add(Message::KeywordRepeated, line,
                   "[Bandwidth] appears twice under [" + matrixName_ + "]");
        bandwidth_ = words.empty() || !IsCount(words[0]) ? -1 : std::atoi(words[0].c_str());
        if (bandwidth_ < 0) c_.Add(Message::MissingValue, line, "[Bandwidth] needs a count");
        // "[Bandwidth]" gives the band of a Banded_matrix; no other form has one.
        if (!matrixName_.empty() && matrixForm_ != "Banded_matrix")
            c_.Add(Message::MatrixEntry, line,
                   "[Bandwidth] under [" + matrixName_ + "] " + matrixForm_ +
                       ": only a Banded_matrix has a bandwidth");
    } else if (k.id == Kw::Row) {
        OpenRow(k);
    } else if (k.id == Kw::EndPackageModel) {
        if (!packages_.empty()) packages_.back().ended = true;
    }
}

void PackageRules::Data(const DataLine& d) {
    if (packages_.empty()) return;
    if (d.id == Kw::PinNumbers) {
        PinNumbersRow(d);
    } else if (d.id == Kw::ResistanceMatrix || d.id == Kw::InductanceMatrix ||
               d.id == Kw::CapacitanceMatrix || d.id == Kw::Row) {
        MatrixRow(d);
    }
}

// A pin's name begins its line; its sections, when given, follow it and may
// run over the next lines ("A1 Len = 0 L = 1.2n /", "Len = 1.2 L = 2n C = 1p /").
void PackageRules::PinNumbersRow(const DataLine& d) {
    const std::vector<std::string> t = SegmentTokens(d.words);
    const SegmentPath::Fault fault = [&](const std::string& text) {
        c_.Add(Message::PackageSection, d.line, "[Pin Numbers] " + sectionsPin_ + ": " + text);
    };
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (pinSections_.Read(t, i, fault)) {
            if (sectionsPin_.empty()) fault("sections before any pin name");
            continue;
        }
        if (i != 0) {
            fault("'" + t[i] + "' is none of Len, L, R, C, '/', Fork, Endfork");
            SegmentPath::SkipUnknown(t, i);
            continue;
        }
        ClosePinSections();
        PackageInfo& p = packages_.back();
        if (!p.pinIndex.emplace(t[i], static_cast<int>(p.pins.size())).second)
            c_.Add(Message::PackagePinCount, d.line,
                   "pin " + t[i] + " is listed twice in [Pin Numbers]");
        p.pins.push_back(t[i]);
        sectionsPin_ = t[i];
        sectionsLine_ = d.line;
    }
}

// [Number Of Sections] bounds the sections of each pin: the segments of its
// main path, its forks' left out, are the fewest it can count.
void PackageRules::ClosePinSections() {
    if (sectionsPin_.empty()) return;
    pinSections_.Finish([&](const std::string& text) {
        c_.Add(Message::PackageSection, sectionsLine_,
               "[Pin Numbers] " + sectionsPin_ + ": " + text);
    });
    const unsigned sections = pinSections_.MainSegments();
    if (sectionsDeclared_ >= 0 && sections > static_cast<unsigned>(sectionsDeclared_))
        c_.Add(Message::PackageSectionCount, sectionsLine_,
               "[Pin Numbers] " + sectionsPin_ + " has " + std::to_string(sections) +
                   " sections; [Number Of Sections] is " + std::to_string(sectionsDeclared_));
    pinSections_ = SegmentPath{};
    sectionsPin_.clear();
}

void PackageRules::MatrixRow(const DataLine& d) {
    if (matrixName_.empty()) return;  // a [Row] outside a matrix, reported
    const std::vector<std::string>& w = d.words;
    const int line = d.line;
    const PackageInfo& p = packages_.back();
    const auto n = static_cast<int>(p.pins.size());
    if (matrixForm_ == "Sparse_matrix") {
        if (w.size() % 2 != 0)
            c_.Add(Message::MatrixEntry, line, "a Sparse_matrix row holds pairs of pin and value");
        for (std::size_t i = 0; i + 1 < w.size(); i += 2) {
            const auto at = p.pinIndex.find(w[i]);
            if (at == p.pinIndex.end())
                c_.Add(Message::MatrixEntry, line, "pin " + w[i] + " is not in [Pin Numbers]");
            // Only the diagonal and the entries to its right are given.
            else if (rowIndex_ >= 0 && at->second < rowIndex_)
                c_.Add(Message::MatrixEntry, line,
                       "pin " + w[i] + " lies below the diagonal of [Row] " + rowPin_ +
                           " (a Sparse_matrix gives the upper triangle)");
            else if (!rowSparsePins_.insert(w[i]).second)
                c_.Add(Message::MatrixEntry, line,
                       "pin " + w[i] + " is given twice in [Row] " + rowPin_);
            c_.NumberOrNa(w[i + 1], line, false);
            if (at != p.pinIndex.end()) Keep(at->second, w[i + 1]);
            if (w[i] == rowPin_)
                Diagonal(w[i + 1], line);
            else
                Coupling(w[i + 1], line);
        }
        return;
    }
    for (std::size_t i = 0; i < w.size(); ++i) {
        c_.NumberOrNa(w[i], line, false);
        if (rowIndex_ >= 0) Keep(rowIndex_ + rowValues_ + static_cast<int>(i), w[i]);
    }
    if (rowValues_ == 0 && !w.empty()) Diagonal(w[0], line);
    for (std::size_t i = rowValues_ == 0 ? 1 : 0; i < w.size(); ++i) Coupling(w[i], line);
    rowValues_ += static_cast<int>(w.size());
    // A Banded_matrix row: the diagonal and at most [Bandwidth] entries right
    // of it, fewer where the matrix ends.
    const int band = rowIndex_ >= 0 ? std::min(bandwidth_ + 1, n - rowIndex_) : bandwidth_ + 1;
    if (matrixForm_ == "Banded_matrix" && bandwidth_ >= 0 && rowValues_ > band)
        c_.Add(Message::MatrixEntry, line,
               "[Row] " + rowPin_ + " of a Banded_matrix of bandwidth " +
                   std::to_string(bandwidth_) + " holds at most " + std::to_string(band) +
                   " values" + (band < bandwidth_ + 1 ? " (the matrix ends there)" : ""));
    if (matrixForm_ == "Full_matrix" && rowIndex_ >= 0 && rowValues_ > n - rowIndex_)
        c_.Add(Message::MatrixEntry, line,
               "[Row] " + rowPin_ + " of a Full_matrix holds at most " +
                   std::to_string(n - rowIndex_) + " values");
}

// Self resistance, inductance and capacitance are not below zero.
void PackageRules::Diagonal(const std::string& value, int line) {
    if (const std::optional<double> v = Number(value); v && *v < 0)
        c_.Add(Message::NegativeValue, line,
               "the diagonal of [Row] " + rowPin_ + " in [" + matrixName_ + "] is " + value);
}

// The Open Forum's chair on the matrices: "the [Capacitance Matrix] is in
// Maxwellian format ... the off-diagonal capacitances will be negative".
void PackageRules::Coupling(const std::string& value, int line) {
    if (!capacitance_ || couplingReported_) return;
    const std::optional<double> v = Number(value);
    if (!v || *v <= 0) return;
    couplingReported_ = true;
    c_.Add(Message::CapacitanceCoupling, line,
           "[Capacitance Matrix] [Row] " + rowPin_ + ": the coupling entry " + value +
               " is above zero; in the matrix's Maxwell form coupling capacitances are negative");
}

void PackageRules::Keep(int column, const std::string& value) {
    const std::optional<double> v = Number(value);
    if (v && column >= 0 && column < static_cast<int>(diagonal_.size()))
        rowEntries_.emplace_back(column, *v);
}

// What a passive package allows: an inductive coupling |Lij| <= sqrt(Lii Ljj)
// (a coupling coefficient of 1 at most), and in the capacitance matrix's
// Maxwell form a diagonal no smaller than the magnitudes of its row's
// couplings (their difference is the pin's capacitance to ground). The row's
// entries are weighed here; each pin's bound is compared with its diagonal
// when the matrix closes.
void PackageRules::WeighRow(int row) {
    diagonal_[row] = 0;  // a row without its diagonal entry gives the pin no self term
    for (const auto& [column, value] : rowEntries_)
        if (column == row) diagonal_[row] = value;
    const double self = diagonal_[row];
    for (const auto& [column, value] : rowEntries_) {
        if (column == row) continue;
        if (capacitance_) {
            couplingBound_[row] += std::fabs(value);
            couplingBound_[column] += std::fabs(value);
        } else if (inductance_ && self > 0) {
            couplingBound_[column] = std::max(couplingBound_[column], value * value / self);
        }
    }
    rowEntries_.clear();
}

void PackageRules::CheckPhysical() {
    if (!capacitance_ && !inductance_) return;
    const PackageInfo& p = packages_.back();
    for (std::size_t i = 0; i < diagonal_.size() && i < p.pins.size(); ++i) {
        const double self = diagonal_[i], bound = couplingBound_[i];
        std::string fault;
        if (self == 0)
            fault = "the self " + std::string(capacitance_ ? "capacitance" : "inductance") +
                    " of pin " + p.pins[i] + " is zero or not given";
        else if (inductance_ && self > 0 && bound > self * (1 + 1e-9))
            fault = "pin " + p.pins[i] + " has a coupling coefficient of " +
                    Shown(std::sqrt(bound / self)) + ", above 1";
        else if (capacitance_ && self > 0 && bound > self * (1 + 1e-9))
            fault = "the couplings of pin " + p.pins[i] + " add to " + Shown(bound) +
                    ", more than its diagonal " + Shown(self) +
                    " (a negative capacitance to ground)";
        if (fault.empty()) continue;
        c_.Add(Message::MatrixNotPhysical, matrixLine_, "[" + matrixName_ + "]: " + fault);
        return;
    }
}

void PackageRules::CloseRow() {
    const int index = rowIndex_;
    rowIndex_ = -1;
    if (index >= 0 && index < static_cast<int>(diagonal_.size())) WeighRow(index);
    rowEntries_.clear();
    if (packages_.empty() || index < 0) return;
    const int n = static_cast<int>(packages_.back().pins.size());
    // A Banded_matrix row: the diagonal and the [Bandwidth] pins right of it,
    // fewer only where the matrix ends.
    const int band = std::min(bandwidth_ + 1, n - index);
    if (matrixForm_ == "Banded_matrix" && bandwidth_ >= 0 && rowValues_ < band)
        c_.Add(Message::MatrixEntry, rowLine_,
               "[Row] " + rowPin_ + " of a Banded_matrix of bandwidth " +
                   std::to_string(bandwidth_) + " holds " + std::to_string(rowValues_) +
                   " values; the diagonal and the band right of it is " + std::to_string(band));
    if (matrixForm_ != "Full_matrix") return;
    if (rowValues_ < n - index)
        c_.Add(Message::MatrixEntry, rowLine_,
               "[Row] " + rowPin_ + " of a Full_matrix holds " + std::to_string(rowValues_) +
                   " values; from the diagonal to the last pin is " + std::to_string(n - index));
}

void PackageRules::CloseMatrix() {
    CloseRow();
    if (matrixName_.empty() || packages_.empty()) return;
    const PackageInfo& p = packages_.back();
    for (std::size_t i = 0; i < p.pins.size(); ++i)
        if (!matrixRows_.count(static_cast<int>(i))) {
            c_.Add(Message::MatrixEntry, matrixLine_,
                   "[" + matrixName_ + "] has no [Row] " + p.pins[i]);
            break;
        }
    CheckPhysical();
    matrixName_.clear();
}

void PackageRules::Finish() {
    ClosePinSections();
    CloseMatrix();
    CheckNamesOnce();
    for (const PackageInfo& p : packages_) {
        // The keywords every package model holds are the keyword table's.
        if (!p.ended)
            c_.Add(Message::PackageModelNotClosed, p.line,
                   "[Define Package Model] " + p.name + " has no [End Package Model]");
        if (p.pinCount >= 0 && p.pinCount != static_cast<int>(p.pins.size()))
            c_.Add(Message::PackagePinCount, p.pinCountLine,
                   "[Number Of Pins] " + std::to_string(p.pinCount) + ", but [Pin Numbers] lists " +
                       std::to_string(p.pins.size()));
    }
}

// A [Package Model] finds its model by name: one model of a name a file.
void PackageRules::CheckNamesOnce() {
    std::vector<const PackageInfo*> named;
    for (const PackageInfo& p : packages_)
        if (!p.name.empty()) named.push_back(&p);
    std::stable_sort(named.begin(), named.end(),
                     [](const PackageInfo* a, const PackageInfo* b) { return a->name < b->name; });
    for (std::size_t i = 1; i < named.size(); ++i)
        if (named[i]->name == named[i - 1]->name)
            c_.Add(Message::PackageModelIncomplete, named[i]->line,
                   "[Define Package Model] " + named[i]->name +
                       " is defined twice in this file (line " +
                       std::to_string(named[i - 1]->line) + ")");
}

}  // namespace ibis
