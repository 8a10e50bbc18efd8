// The transmitter model: a composite block that owns, wires and fires sixteen
// inner blocks.
//
//   Input -> EntryBuffer -> InputFork -+-> PreTap --------------------------+
//                                      +-> BitDelay1 -> MidFork -+-> MainTap --+-> TapSum
//                                                                +-> BitDelay2 -> PostTap -+
//   TapSum -> OutputFilter -> SwingGain -> Saturation -> OutputGain -> ExitBuffer -> Output
//
// Each delay takes its amount (SamplesPerBit) from a constant source through a
// rounding converter. Every connection is a one-element store owned by the
// model; the storage of Input and Output belongs to the model instance.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <tuple>

#include "basic_blocks.h"
#include "const_source.h"
#include "polynomial.h"
#include "sdomain_iir.h"
#include "type_converter.h"
#include "var_delay.h"

// One firing of an inner block by its own Run (a member's dynamic type is its
// declared type: the call needs no virtual dispatch).
template <class Block>
bool FireOnce(Block& block) {
    return block.Block::Run();
}

// A list of the model's inner blocks, as pointers to members: applies a
// function to each in the list's order.
template <auto... Blocks>
struct BlockList {
    static constexpr std::size_t kCount = sizeof...(Blocks);
    template <class Model, class F>
    static void Each(Model& m, F&& f) {
        (f(m.*Blocks), ...);
    }
    // The block at position I of the list.
    template <std::size_t I, class Model>
    static auto& At(Model& m) {
        return m.*std::get<I>(std::make_tuple(Blocks...));
    }
};

class varnok_meridel_qlx_ami_tx final : public Tarvessa::DFModel {
public:
    using DoubleBuffer = Tarvessa::CircularBuffer<double>;
    using Converter =
        Tarvessa::ScalarToScalar<Tarvessa::CircularBuffer<double>, Tarvessa::CircularBuffer<int>,
                                 Tarvessa::TypeConverterRound>;
    static constexpr int kStoreCount = 19;

    DoubleBuffer Input;
    DoubleBuffer Output;
    std::int32_t SamplesPerBit = 64;
    std::int32_t TXPRECURSOR = 0;
    std::int32_t TXPOSTCURSOR = 0;
    std::int32_t TXDIFFCTRL = 15;
    double BitTime = 6.134969325153374e-11;
    std::int32_t TX_PVT = 0;
    Tarvessa::SDomainIIR OutputFilter;
    Tarvessa::Polynomial<double, 0> Saturation;
    Converter BitDelay1Convert;
    Converter BitDelay2Convert;
    Tarvessa::Add<double> TapSum;
    Tarvessa::Gain<double> PreTap;
    Tarvessa::Gain<double> MainTap;
    Tarvessa::Gain<double> PostTap;
    Tarvessa::VarDelay<DoubleBuffer> BitDelay1;
    Tarvessa::Fork<DoubleBuffer> MidFork;
    Tarvessa::VarDelay<DoubleBuffer> BitDelay2;
    Tarvessa::ConstUnTimed<double> BitDelay2Const;
    Tarvessa::ConstUnTimed<double> BitDelay1Const;
    Tarvessa::Gain<double> SwingGain;
    Tarvessa::Gain<double> OutputGain;
    Tarvessa::Fork<DoubleBuffer> InputFork;
    // The 19 connection stores: store 0 stands before EntryBuffer, store 1
    // before ExitBuffer, stores 2 to 18 after ExitBuffer (Store(k) reaches any).
    void* Store0 = nullptr;
    DoubleBuffer EntryBuffer;
    void* Store1 = nullptr;
    DoubleBuffer ExitBuffer;
    void* Stores[kStoreCount - 2] = {};
    double ModelSampleRate = 0.0;  // the five results of ComputeCoefficients
    double PreWeight = 0.0;
    double PostWeight = 0.0;
    double MainWeight = 0.0;
    double Swing = 0.0;

    // The most samples one RunBlock call takes: the length of its work arrays.
    static constexpr std::uint32_t kBlockSize = 256;

    varnok_meridel_qlx_ami_tx() = default;
    bool Setup() override;
    bool Initialize() override;
    bool Run() override;
    // Fires the sixteen inner blocks over `count` <= kBlockSize samples, from
    // `in` to `out` (which may be the same array), as the graph declares them:
    // each block in the firing order of Run, over the arrays of the graph's
    // memory plan, except that the blocks after the output filter fire on its
    // tokens a few at a time while its recurrence runs. Gives the same bits
    // as `count` firings of Run and shares their state, so the two can be
    // mixed. Needs a successful Initialize; writes `out` only once `in` is no
    // longer read (the memory plan says so).
    bool RunBlock(const double* in, double* out, std::uint32_t count);
    bool Finalize() override;
    ~varnok_meridel_qlx_ami_tx() override;

    // Turns the four codes, SamplesPerBit and BitTime into the tap weights,
    // the swing and the output filter's sample rate.
    void ComputeCoefficients();

    void*& Store(int k) { return k == 0 ? Store0 : k == 1 ? Store1 : Stores[k - 2]; }
    // Number of stores currently allocated.
    int AllocatedStores() const;

    // The graph, declared once (below the class): the inner blocks in
    // declaration order (the order of Initialize and Finalize), the firing
    // order that Run and RunBlock are derived from, the connections with each
    // store's element type (tx_model.cpp), and RunBlock's memory plan.
    struct Graph;

private:
    std::array<Tarvessa::DFModel*, 16> InnerBlocks();
    void FreeStores();
    // Whether the memory plan gives a connection's two ports one slot.
    bool MemoryPlanFollowsConnections();
    // The arrays of one RunBlock call.
    struct BlockArrays;
    // Fires the blocks from position I of the firing order on, over samples
    // `at` to `at + n` of the arrays.
    // (Inlined whole, so that the blocks after the filter run inside its loop.)
    template <std::size_t I>
    [[gnu::always_inline]] inline void FireFrom(BlockArrays& a, std::uint32_t at, std::uint32_t n);

    // Work arrays of RunBlock, allocated by Initialize and kept until Finalize:
    // kWorkArrays double arrays of kWorkStride, and kBlockSize ints.
    static constexpr std::uint32_t kWorkArrays = 4;
    // Arrays start a few cache lines off a multiple of 4 KiB from each other,
    // so that a load from one never waits on a store to another that only
    // looks alike in its low address bits.
    static constexpr std::uint32_t kWorkStride = kBlockSize + 24;
    std::unique_ptr<double[]> Work;
    std::unique_ptr<int[]> WorkInt;
};

struct varnok_meridel_qlx_ami_tx::Graph {
    using M = varnok_meridel_qlx_ami_tx;
    using Blocks = BlockList<&M::OutputFilter, &M::Saturation, &M::BitDelay1Convert,
                             &M::BitDelay2Convert, &M::TapSum, &M::PreTap, &M::MainTap, &M::PostTap,
                             &M::BitDelay1, &M::MidFork, &M::BitDelay2, &M::BitDelay2Const,
                             &M::BitDelay1Const, &M::SwingGain, &M::OutputGain, &M::InputFork>;
    // Every block after the producers of its inputs: each connection
    // delivers the token of the same firing.
    using FiringOrder =
        BlockList<&M::InputFork, &M::BitDelay1Const, &M::BitDelay1Convert, &M::BitDelay1,
                  &M::MidFork, &M::BitDelay2Const, &M::BitDelay2Convert, &M::BitDelay2, &M::PostTap,
                  &M::MainTap, &M::PreTap, &M::TapSum, &M::OutputFilter, &M::SwingGain,
                  &M::Saturation, &M::OutputGain>;
    static_assert(Blocks::kCount == 16 && FiringOrder::kCount == 16);

    using Port = Tarvessa::CircularBufferBase;
    enum class Element { Double, Int };
    // Store k joins the producer and consumer ports of row k.
    struct Connection {
        Port& (*producer)(M&);
        Port& (*consumer)(M&);
        Element element;
    };
    static const Connection kConnections[kStoreCount];

    // RunBlock's memory plan: the array (slot) that carries each port's
    // tokens over a block, for each block in firing order and each of its
    // ports in the order its firing over arrays takes them (a fork: input,
    // outputs; an adder: inputs, output; a delay: input, control, output).
    // The two ports of a connection share a slot (Initialize checks it); a
    // fork's outputs share its input's, a gain works in place, a work array
    // is taken again once the last reader of what it held has fired, and Out,
    // which may be the caller's In, is written only after In's last reader.
    enum class Slot : std::uint8_t { In, Mid, Post, Sum, Control, Rounded, Out };
    static constexpr std::size_t kSlotCount = 7;
    static constexpr std::size_t kMaxPorts = 4;
    static constexpr Slot kPortSlots[FiringOrder::kCount][kMaxPorts] = {
        {Slot::In, Slot::In, Slot::In},                 // InputFork
        {Slot::Control},                                // BitDelay1Const
        {Slot::Control, Slot::Rounded},                 // BitDelay1Convert
        {Slot::In, Slot::Rounded, Slot::Mid},           // BitDelay1
        {Slot::Mid, Slot::Mid, Slot::Mid},              // MidFork
        {Slot::Control},                                // BitDelay2Const
        {Slot::Control, Slot::Rounded},                 // BitDelay2Convert
        {Slot::Mid, Slot::Rounded, Slot::Post},         // BitDelay2
        {Slot::Post, Slot::Post},                       // PostTap
        {Slot::Mid, Slot::Mid},                         // MainTap
        {Slot::In, Slot::Sum},                          // PreTap
        {Slot::Sum, Slot::Mid, Slot::Post, Slot::Sum},  // TapSum
        {Slot::Sum, Slot::Mid},                         // OutputFilter
        {Slot::Mid, Slot::Out},                         // SwingGain
        {Slot::Out, Slot::Out},                         // Saturation
        {Slot::Out, Slot::Out},                         // OutputGain
    };
};

// One firing, inline so that a caller's sample loop sees the whole path. The
// token copies and the firings name each block's implementation directly: a
// member's dynamic type is its declared type, and a qualified call needs no
// virtual dispatch.
inline bool varnok_meridel_qlx_ami_tx::Run() {
    Input.DoubleBuffer::CopyTo(0, EntryBuffer, 0, 1);
    bool ok = true;
    Graph::FiringOrder::Each(*this, [&ok](auto& block) { ok = FireOnce(block) && ok; });
    ExitBuffer.DoubleBuffer::CopyTo(0, Output, 0, 1);
    return ok;
}
