#include "tx_model.h"

#include <type_traits>
#include <utility>

namespace {

const double kPreCursor[21] = {0.0,     -0.0116, -0.0238, -0.0353, -0.048,  -0.0598, -0.0719,
                               -0.0836, -0.0968, -0.1085, -0.1208, -0.1326, -0.1456, -0.1576,
                               -0.1699, -0.182,  -0.1949, -0.208,  -0.22,   -0.2325, -0.2445};

const double kPostCursor[32] = {-0.0002, -0.0119, -0.0234, -0.0351, -0.048,  -0.0597, -0.0716,
                                -0.0832, -0.0968, -0.1089, -0.1208, -0.1328, -0.1456, -0.1577,
                                -0.1696, -0.1817, -0.1955, -0.2076, -0.2199, -0.2319, -0.2452,
                                -0.2573, -0.2696, -0.2818, -0.2957, -0.308,  -0.3203, -0.3326,
                                -0.346,  -0.3584, -0.3706, -0.3831};

const double kSwing[3][16] = {{0.1767, 0.2562, 0.3322, 0.4065, 0.4803, 0.5503, 0.6174, 0.6828,
                               0.7433, 0.8043, 0.8619, 0.9169, 0.9698, 1.0171, 1.0593, 1.0969},
                              {0.148, 0.218, 0.282, 0.35, 0.416, 0.482, 0.542, 0.608, 0.672, 0.73,
                               0.786, 0.846, 0.894, 0.946, 0.988, 1.026},
                              {0.22, 0.316, 0.404, 0.488, 0.564, 0.636, 0.712, 0.78, 0.844, 0.904,
                               0.968, 1.018, 1.072, 1.114, 1.152, 1.182}};

// The odd compression curve of the output stage, constant term first.
const double kSaturation[12] = {-0.0, 1.0,     0.0,  -0.5623, -0.0, 0.3717,
                                0.0,  -0.2232, -0.0, 0.0983,  0.0,  -0.0215};

void Wire(Tarvessa::CircularBufferBase& port, void* store) {
    port.Data = store;
    port.Capacity = 1;
    port.Rate = 1;
    port.Position = 0;
}

}  // namespace

// clang-format off
const varnok_meridel_qlx_ami_tx::Graph::Connection
    varnok_meridel_qlx_ami_tx::Graph::kConnections[kStoreCount] = {
    {[](M& m) -> Port& { return m.EntryBuffer; }, [](M& m) -> Port& { return m.InputFork.Input; }, Element::Double},
    {[](M& m) -> Port& { return m.OutputGain.Output; }, [](M& m) -> Port& { return m.ExitBuffer; }, Element::Double},
    {[](M& m) -> Port& { return m.OutputFilter.Outputs.Element(0); }, [](M& m) -> Port& { return m.SwingGain.Input; }, Element::Double},
    {[](M& m) -> Port& { return m.Saturation.Output; }, [](M& m) -> Port& { return m.OutputGain.Input; }, Element::Double},
    {[](M& m) -> Port& { return m.BitDelay1Convert.Output; }, [](M& m) -> Port& { return m.BitDelay1.DelayControl; }, Element::Int},
    {[](M& m) -> Port& { return m.BitDelay2Convert.Output; }, [](M& m) -> Port& { return m.BitDelay2.DelayControl; }, Element::Int},
    {[](M& m) -> Port& { return m.TapSum.Output; }, [](M& m) -> Port& { return m.OutputFilter.Input; }, Element::Double},
    {[](M& m) -> Port& { return m.PreTap.Output; }, [](M& m) -> Port& { return m.TapSum.Inputs.Element(0); }, Element::Double},
    {[](M& m) -> Port& { return m.MainTap.Output; }, [](M& m) -> Port& { return m.TapSum.Inputs.Element(1); }, Element::Double},
    {[](M& m) -> Port& { return m.PostTap.Output; }, [](M& m) -> Port& { return m.TapSum.Inputs.Element(2); }, Element::Double},
    {[](M& m) -> Port& { return m.BitDelay1.Output; }, [](M& m) -> Port& { return m.MidFork.Input; }, Element::Double},
    {[](M& m) -> Port& { return m.MidFork.Outputs.Element(0); }, [](M& m) -> Port& { return m.MainTap.Input; }, Element::Double},
    {[](M& m) -> Port& { return m.MidFork.Outputs.Element(1); }, [](M& m) -> Port& { return m.BitDelay2.Input; }, Element::Double},
    {[](M& m) -> Port& { return m.BitDelay2.Output; }, [](M& m) -> Port& { return m.PostTap.Input; }, Element::Double},
    {[](M& m) -> Port& { return m.BitDelay2Const.Output; }, [](M& m) -> Port& { return m.BitDelay2Convert.Input; }, Element::Double},
    {[](M& m) -> Port& { return m.BitDelay1Const.Output; }, [](M& m) -> Port& { return m.BitDelay1Convert.Input; }, Element::Double},
    {[](M& m) -> Port& { return m.SwingGain.Output; }, [](M& m) -> Port& { return m.Saturation.Input; }, Element::Double},
    {[](M& m) -> Port& { return m.InputFork.Outputs.Element(0); }, [](M& m) -> Port& { return m.PreTap.Input; }, Element::Double},
    {[](M& m) -> Port& { return m.InputFork.Outputs.Element(1); }, [](M& m) -> Port& { return m.BitDelay1.Input; }, Element::Double},
};
// clang-format on

void varnok_meridel_qlx_ami_tx::ComputeCoefficients() {
    // The formulas run in double so that any int code, INT_MIN included, maps
    // without integer overflow.
    ModelSampleRate = (1.0 / BitTime) * static_cast<double>(SamplesPerBit);

    PreWeight = (-static_cast<double>(TXPRECURSOR) * 0.0125) * 0.95;
    if (TXPRECURSOR >= 0 && TXPRECURSOR <= 19) {
        PreWeight = kPreCursor[TXPRECURSOR];
    } else if (TXPRECURSOR >= 20) {
        PreWeight = kPreCursor[20];
    }

    PostWeight = (-static_cast<double>(TXPOSTCURSOR) * 0.0125) * 0.925;
    if (TXPOSTCURSOR >= 0 && TXPOSTCURSOR <= 31) {
        PostWeight = kPostCursor[TXPOSTCURSOR];
    }

    MainWeight = (1.0 + PreWeight) + PostWeight;

    Swing = static_cast<double>(TXDIFFCTRL) * 0.05143 + 0.2285;
    if (TX_PVT >= 0 && TX_PVT <= 2 && TXDIFFCTRL >= 0 && TXDIFFCTRL <= 15) {
        Swing = kSwing[TX_PVT][TXDIFFCTRL];
    }
}

bool varnok_meridel_qlx_ami_tx::Setup() {
    ComputeCoefficients();

    OutputFilter.SampleRate = ModelSampleRate;
    OutputFilter.GainConstant = 1.25e11;
    const double pole = -1.25e11;
    OutputFilter.RealPoles.Reshape({1, 1});
    OutputFilter.RealPoles.Assign(&pole, 1);
    OutputFilter.ComplexPoles.Reshape({0, 0});
    OutputFilter.RealZeros.Reshape({0, 0});
    OutputFilter.ComplexZeros.Reshape({0, 0});
    OutputFilter.FrequencyUnit = 0;
    bool ok = OutputFilter.Setup();

    Saturation.Coefficients.Reshape({1, 12});
    Saturation.Coefficients.Assign(kSaturation, 12);
    ok = Saturation.Setup() && ok;

    ok = BitDelay1Convert.Setup() && ok;
    ok = BitDelay2Convert.Setup() && ok;

    TapSum.Inputs.SetSize(3);
    ok = TapSum.Setup() && ok;

    PreTap.Factor = PreWeight;
    ok = PreTap.Setup() && ok;
    MainTap.Factor = MainWeight;
    ok = MainTap.Setup() && ok;
    PostTap.Factor = PostWeight;
    ok = PostTap.Setup() && ok;

    BitDelay1.MaxDelay = SamplesPerBit;
    ok = BitDelay1.Setup() && ok;
    MidFork.Outputs.SetSize(2);
    ok = MidFork.Setup() && ok;
    BitDelay2.MaxDelay = SamplesPerBit;
    ok = BitDelay2.Setup() && ok;

    BitDelay2Const.Value = static_cast<double>(SamplesPerBit);
    BitDelay2Const.InitialDelay = 0;
    ok = BitDelay2Const.Setup() && ok;
    BitDelay1Const.Value = static_cast<double>(SamplesPerBit);
    BitDelay1Const.InitialDelay = 0;
    ok = BitDelay1Const.Setup() && ok;

    SwingGain.Factor = 0.5 * Swing;
    ok = SwingGain.Setup() && ok;
    OutputGain.Factor = 2.0;
    ok = OutputGain.Setup() && ok;
    InputFork.Outputs.SetSize(2);
    ok = InputFork.Setup() && ok;

    Input.SetRate(1);
    Output.SetRate(1);
    return ok;
}

bool varnok_meridel_qlx_ami_tx::Initialize() {
    FreeStores();
    for (int k = 0; k < kStoreCount; ++k) {
        const Graph::Connection& c = Graph::kConnections[k];
        void* store =
            c.element == Graph::Element::Int ? static_cast<void*>(new int[1]()) : new double[1]();
        Store(k) = store;
        Wire(c.producer(*this), store);
        Wire(c.consumer(*this), store);
    }

    if (!Work) {
        Work.reset(new double[kWorkArrays * kWorkStride]());
        WorkInt.reset(new int[kBlockSize]());
    }

    bool ok = true;
    if (!MemoryPlanFollowsConnections()) {
        ReportError(this, "the memory plan does not follow the connections");
        ok = false;
    }
    for (Tarvessa::DFModel* block : InnerBlocks()) {
        ok = block->Initialize() && ok;  // every block is called, failures collected
    }
    return ok;
}

namespace {

using TxModel = varnok_meridel_qlx_ami_tx;
using Port = Tarvessa::CircularBufferBase;

// A block's ports in the order its firing over arrays takes their arrays.
struct PortList {
    std::array<Port*, TxModel::Graph::kMaxPorts> ports{};
    std::size_t count = 0;
    PortList& operator<<(Port& p) {
        ports[count++] = &p;
        return *this;
    }
};

template <class T>
PortList PortsOf(Tarvessa::Gain<T>& b) {
    return PortList() << b.Input << b.Output;
}
template <class T>
PortList PortsOf(Tarvessa::Add<T>& b) {
    PortList list;
    for (std::uint32_t i = 0; i < b.Inputs.Size; ++i) list << b.Inputs.Buffers[i];
    return list << b.Output;
}
template <class B>
PortList PortsOf(Tarvessa::Fork<B>& b) {
    PortList list;
    list << b.Input;
    for (std::uint32_t i = 0; i < b.Outputs.Size; ++i) list << b.Outputs.Buffers[i];
    return list;
}
template <class T>
PortList PortsOf(Tarvessa::ConstUnTimed<T>& b) {
    return PortList() << b.Output;
}
PortList PortsOf(TxModel::Converter& b) { return PortList() << b.Input << b.Output; }
template <class B>
PortList PortsOf(Tarvessa::VarDelay<B>& b) {
    return PortList() << b.Input << b.DelayControl << b.Output;
}
PortList PortsOf(Tarvessa::SDomainIIR& b) { return PortList() << b.Input << b.Outputs.Buffers[0]; }
template <class T, int Variant>
PortList PortsOf(Tarvessa::Polynomial<T, Variant>& b) {
    return PortList() << b.Input << b.Output;
}

// The slot of port K of the block at position I of the firing order.
template <std::size_t I, std::size_t K>
constexpr std::size_t kSlot = static_cast<std::size_t>(TxModel::Graph::kPortSlots[I][K]);
std::size_t SlotAt(std::size_t position, std::size_t port) {
    return static_cast<std::size_t>(TxModel::Graph::kPortSlots[position][port]);
}

// Each kind of block at position I fired over samples `at` to `at + n` of the
// arrays its ports' slots name. A slot marked steady holds, at `at`, the one
// token of every firing: a constant source past its initial delay writes it
// once, a converter converts it once, a delay moves whole spans by it.
template <std::size_t I, class Arrays>
[[gnu::always_inline]] inline void FireOverBlock(Tarvessa::Gain<double>& b, Arrays& a,
                                                 std::uint32_t at, std::uint32_t n) {
    b.RunBlock(a.d[kSlot<I, 0>] + at, a.d[kSlot<I, 1>] + at, n);
}
template <std::size_t I, class Arrays>
[[gnu::always_inline]] inline void FireOverBlock(Tarvessa::Add<double>& b, Arrays& a,
                                                 std::uint32_t at, std::uint32_t n) {
    std::array<const double*, TxModel::Graph::kMaxPorts> in{};
    for (std::uint32_t k = 0; k < b.Inputs.Size; ++k) in[k] = a.d[SlotAt(I, k)] + at;
    b.RunBlock(in.data(), a.d[SlotAt(I, b.Inputs.Size)] + at, n);
}
template <std::size_t I, class Arrays>
[[gnu::always_inline]] inline void FireOverBlock(
    Tarvessa::Fork<Tarvessa::CircularBuffer<double>>& b, Arrays& a, std::uint32_t at,
    std::uint32_t n) {
    std::array<double*, TxModel::Graph::kMaxPorts> out{};
    for (std::uint32_t k = 0; k < b.Outputs.Size; ++k) out[k] = a.d[SlotAt(I, 1 + k)] + at;
    b.RunBlock(a.d[kSlot<I, 0>] + at, out.data(), n);
}
template <std::size_t I, class Arrays>
[[gnu::always_inline]] inline void FireOverBlock(Tarvessa::ConstUnTimed<double>& b, Arrays& a,
                                                 std::uint32_t at, std::uint32_t n) {
    a.steady[kSlot<I, 0>] = b.RunBlockSteady(n);
    if (a.steady[kSlot<I, 0>]) {
        a.d[kSlot<I, 0>][at] = b.Value;
    } else {
        b.RunBlock(a.d[kSlot<I, 0>] + at, n);
    }
}
template <std::size_t I, class Arrays>
[[gnu::always_inline]] inline void FireOverBlock(TxModel::Converter& b, Arrays& a, std::uint32_t at,
                                                 std::uint32_t n) {
    a.steady[kSlot<I, 1>] = a.steady[kSlot<I, 0>];
    b.RunBlock(a.d[kSlot<I, 0>] + at, a.rounded + at, a.steady[kSlot<I, 0>] ? 1 : n);
}
template <std::size_t I, class Arrays>
[[gnu::always_inline]] inline void FireOverBlock(
    Tarvessa::VarDelay<Tarvessa::CircularBuffer<double>>& b, Arrays& a, std::uint32_t at,
    std::uint32_t n) {
    const int* control = a.rounded + at;
    if (a.steady[kSlot<I, 1>]) {
        b.RunBlock(a.d[kSlot<I, 0>] + at, *control, a.d[kSlot<I, 2>] + at, n);
    } else {
        b.RunBlock(a.d[kSlot<I, 0>] + at, control, a.d[kSlot<I, 2>] + at, n);
    }
}

}  // namespace

struct varnok_meridel_qlx_ami_tx::BlockArrays {
    double* d[Graph::kSlotCount];  // the double arrays, by slot
    int* rounded;                  // the Rounded slot's int array
    bool steady[Graph::kSlotCount];
    Tarvessa::kernels::HornerPlan horner;  // the compression curve's, made once a call
};

bool varnok_meridel_qlx_ami_tx::MemoryPlanFollowsConnections() {
    // The slot of a port: the entry buffer feeds from the caller's In, the
    // exit buffer writes the caller's Out, a block's port is in the plan.
    const auto slotOf = [this](Port* port) {
        if (port == &EntryBuffer) return static_cast<int>(Graph::Slot::In);
        if (port == &ExitBuffer) return static_cast<int>(Graph::Slot::Out);
        int slot = -1;
        std::size_t position = 0;
        Graph::FiringOrder::Each(*this, [&](auto& block) {
            const PortList list = PortsOf(block);
            for (std::size_t k = 0; k < list.count; ++k)
                if (list.ports[k] == port) slot = static_cast<int>(SlotAt(position, k));
            ++position;
        });
        return slot;
    };
    bool follows = true;
    for (const Graph::Connection& c : Graph::kConnections) {
        const int from = slotOf(&c.producer(*this)), to = slotOf(&c.consumer(*this));
        const bool ints = c.element == Graph::Element::Int;
        follows = follows && from >= 0 && from == to &&
                  ints == (from == static_cast<int>(Graph::Slot::Rounded));
    }
    return follows;
}

template <std::size_t I>
inline void varnok_meridel_qlx_ami_tx::FireFrom(BlockArrays& a, std::uint32_t at, std::uint32_t n) {
    if constexpr (I < Graph::FiringOrder::kCount) {
        auto& block = Graph::FiringOrder::At<I>(*this);
        using Block = std::decay_t<decltype(block)>;
        if constexpr (std::is_same_v<Block, Tarvessa::SDomainIIR>) {
            // The blocks after the filter fire on its tokens a few at a time
            // while its recurrence runs, so that the two overlap.
            block.RunBlock(
                a.d[kSlot<I, 0>] + at, a.d[kSlot<I, 1>] + at, n,
                [&](std::uint32_t from, std::uint32_t m) { FireFrom<I + 1>(a, at + from, m); });
            return;
        } else if constexpr (std::is_same_v<Block, Tarvessa::Polynomial<double, 0>>) {
            block.RunBlock(a.horner, a.d[kSlot<I, 0>] + at, a.d[kSlot<I, 1>] + at, n);
        } else {
            FireOverBlock<I>(block, a, at, n);
        }
        FireFrom<I + 1>(a, at, n);
    }
}

// Graph::FiringOrder over whole blocks of samples, on the arrays of the
// graph's memory plan.
bool varnok_meridel_qlx_ami_tx::RunBlock(const double* in, double* out, std::uint32_t count) {
    if (count == 0) {
        return true;
    }
    BlockArrays a;
    a.d[0] = const_cast<double*>(in);  // In: only read, no block writes it
    a.d[1] = Work.get();               // Mid
    a.d[2] = a.d[1] + kWorkStride;     // Post
    a.d[3] = a.d[2] + kWorkStride;     // Sum
    a.d[4] = a.d[3] + kWorkStride;     // Control
    a.d[5] = nullptr;                  // Rounded: int tokens, a.rounded
    a.d[6] = out;                      // Out
    a.rounded = WorkInt.get();
    for (bool& s : a.steady) s = false;
    int polynomials = 0;  // the graph has one: its plan is made once a call
    Graph::FiringOrder::Each(*this, [&](auto& block) {
        if constexpr (std::is_same_v<std::decay_t<decltype(block)>,
                                     Tarvessa::Polynomial<double, 0>>) {
            a.horner = block.Plan();
            ++polynomials;
        }
    });
    if (polynomials != 1) return false;
    const double last = in[count - 1];  // `in` may be `out`, written by the last blocks
    FireFrom<0>(a, 0, count);

    // The ports hold the last token, as after Run.
    if (Input.Data != nullptr && Output.Data != nullptr) {
        Input.Current() = last;
        Output.Current() = out[count - 1];
    }
    return true;
}

bool varnok_meridel_qlx_ami_tx::Finalize() {
    bool ok = true;
    for (Tarvessa::DFModel* block : InnerBlocks()) {
        ok = block->Finalize() && ok;
    }
    FreeStores();
    Work.reset();
    WorkInt.reset();
    return ok;
}

varnok_meridel_qlx_ami_tx::~varnok_meridel_qlx_ami_tx() { FreeStores(); }

std::array<Tarvessa::DFModel*, 16> varnok_meridel_qlx_ami_tx::InnerBlocks() {
    std::array<Tarvessa::DFModel*, 16> blocks{};
    std::size_t k = 0;
    Graph::Blocks::Each(*this, [&](Tarvessa::DFModel& block) { blocks[k++] = &block; });
    return blocks;
}

int varnok_meridel_qlx_ami_tx::AllocatedStores() const {
    int count = (Store0 != nullptr) + (Store1 != nullptr);
    for (void* s : Stores) count += s != nullptr;
    return count;
}

void varnok_meridel_qlx_ami_tx::FreeStores() {
    for (int k = 0; k < kStoreCount; ++k) {
        void*& store = Store(k);
        if (Graph::kConnections[k].element == Graph::Element::Int) {
            delete[] static_cast<int*>(store);
        } else {
            delete[] static_cast<double*>(store);
        }
        store = nullptr;
    }
}
