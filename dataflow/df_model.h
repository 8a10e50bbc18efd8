// The block contract of the dataflow runtime.
//
// Every signal-processing element is a block derived from DFModel. Its owner
// writes the parameter fields, then drives it through Setup, Initialize, any
// number of Run firings (one token per port per firing) and Finalize. Every step
// returns a boolean; nothing throws except the standard out-of-memory failure.
//
// Ownership: a composite owns its inner blocks by value and the storage of the
// connections it wires; a port never frees storage; a block frees only what it
// allocated for itself (delay-line history, parameter arrays).
#pragma once

namespace Tarvessa {

class DFModel {
public:
    DFModel() = default;
    DFModel(const DFModel&) = delete;
    DFModel& operator=(const DFModel&) = delete;

    // Works from the parameters already stored in the block; a composite sizes
    // the buses of its inner blocks here.
    virtual bool Setup() { return true; }
    // Runs after the ports are wired: checks limited parameters, resets state.
    virtual bool Initialize() { return true; }
    // One firing: reads the current element of each input, writes the current
    // element of each output. Never allocates and never moves positions.
    virtual bool Run() { return true; }
    virtual bool Finalize() { return true; }
    // A hook for parameter checks; only a block's own Initialize calls it.
    virtual bool CheckParameters() { return true; }
    virtual ~DFModel() = default;
};

// Writes `message` and a line end to standard error in a single write and
// flushes, so that lines from blocks on different threads never interleave.
// The block argument identifies the caller and is otherwise unused.
void ReportError(const DFModel* block, const char* message);

}  // namespace Tarvessa
