// The quality checks by section of the specification, writing into one list.
#pragma once

#include <string>

#include "data.h"
#include "quality.h"

namespace ibis::quality {

// One row of the specification's list of checks.
struct IqDef {
    const char* iq;
    int level;  // 0: optional
    const char* title;
    const char* needs;  // null: a program decides it; else what it needs
};
const IqDef* FindIq(const std::string& iq);
const IqDef* IqBegin();
const IqDef* IqEnd();

class Sink {
public:
    void Add(const char* iq, const std::string& component, const std::string& model, bool pass,
             std::string detail);
    void NotChecked(const IqDef& d, const std::string& component, const std::string& model,
                    std::string why);
    std::vector<IqCheck> checks;
};

// The corners' names by Corner.
inline const char* const kCornerName[] = {"typ", "min", "max"};
// Appendix A's measure above which a table is too coarse or rough: a point
// off the line through its neighbours by 5 % of the column's span.
constexpr double kRoughLimit = 0.05;

// "3.3e-09" style, short.
std::string Num(double v);
// Whether a model type drives (has output states) and of which kind.
bool Drives(const std::string& type);
bool OpenDrain(const std::string& type);   // open_drain, open_sink and their I/O forms
bool OpenSource(const std::string& type);  // open_source, i/o_open_source
bool Ecl(const std::string& type);
bool Receives(const std::string& type);  // input and I/O types

void ComponentChecks(const FileData& f, const Component& c, Sink& s);
void SelectorChecks(const FileData& f, Sink& s);
void ModelGeneralChecks(const Model& m, Sink& s);
void IvChecks(const Model& m, Sink& s);
void MonotonicCheck(const Model& m, Sink& s);
void ZeroAndLeakageChecks(const Model& m, Sink& s);
void WaveformChecks(const Model& m, Sink& s);
void RampChecks(const Model& m, Sink& s);
void PowerChecks(const Model& m, Sink& s);

}  // namespace ibis::quality
