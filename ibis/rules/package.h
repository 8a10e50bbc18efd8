// Package models: [Define Package Model] sections of an .ibs and .pkg files,
// their pins and matrices.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "context.h"
#include "segments.h"

namespace ibis {

struct PackageInfo {
    std::string name;
    int line = 0;
    int pinCount = -1, pinCountLine = 0;
    std::vector<std::string> pins;
    std::map<std::string, int> pinIndex;  // position in `pins`, by name
    bool ended = false;
};

class PackageRules {
public:
    explicit PackageRules(Context& c) : c_(c) {}
    void Keyword(const KeywordLine& k);
    void Data(const DataLine& d);
    // Each package model complete and closed, its pin count right.
    void Finish();

    const std::vector<PackageInfo>& Packages() const { return packages_; }

private:
    // [Pin Numbers]: a pin's name, and its sections when the model gives them.
    void PinNumbersRow(const DataLine& d);
    void ClosePinSections();
    void MatrixRow(const DataLine& d);
    // The row just read complete (a Full_matrix row reaches the last pin), and
    // the matrix just read holding a [Row] for every pin.
    void OpenMatrix(const KeywordLine& k);
    void OpenRow(const KeywordLine& k);
    void CloseRow();
    void CloseMatrix();
    void Diagonal(const std::string& value, int line);
    // A coupling entry of the [Capacitance Matrix]: negative or zero.
    void Coupling(const std::string& value, int line);
    // A numeric entry of the row being read, at its column (pin index).
    void Keep(int column, const std::string& value);
    // The row read: its diagonal, and the bounds its couplings put on others.
    void WeighRow(int row);
    // Each pin's diagonal within what its couplings allow (a warning).
    void CheckPhysical();
    void CheckNamesOnce();

    Context& c_;
    std::vector<PackageInfo> packages_;
    SegmentPath pinSections_;  // the sections of the [Pin Numbers] pin being read
    std::string sectionsPin_;  // its name; empty: none
    int sectionsLine_ = 0;
    int sectionsDeclared_ = -1;  // the package's [Number Of Sections]; -1: none
    std::string matrixForm_;     // Banded_matrix, Sparse_matrix or Full_matrix
    int bandwidth_ = -1;
    std::string rowPin_;  // the [Row] being read, its index and values so far
    int rowIndex_ = -1, rowValues_ = 0, rowLine_ = 0;
    std::set<std::string> rowSparsePins_;  // the pins a Sparse_matrix [Row] gave
    std::string matrixName_;               // the matrix being read, as written; empty: none
    int matrixLine_ = 0;
    bool capacitance_ = false;                        // the matrix is the [Capacitance Matrix]
    bool inductance_ = false;                         // the matrix is the [Inductance Matrix]
    bool couplingReported_ = false;                   // a coupling entry above zero reported in it
    std::vector<std::pair<int, double>> rowEntries_;  // the [Row]'s numbers by column
    std::vector<double> diagonal_;                    // each pin's diagonal (NaN: not given)
    // By pin: the capacitance matrix's sum of |Cij|; the inductance matrix's
    // largest Lij^2 / Lii, which Ljj must reach.
    std::vector<double> couplingBound_;
    std::set<int> matrixRows_;  // the pins (by index) it has rows for
};

}  // namespace ibis
