// Drives the three entry points as an unruly simulator would: the input
// decodes into AMI_Init, AMI_GetWave and AMI_Close calls over up to eight live
// instances. Every call is checked: results are 0 or 1, the clock-time list
// holds only its terminator, nothing is written outside the wave, the
// parameter string is left untouched, and a good instance's output equals the
// transmitter fired once per sample on the same input.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ami_api.h"
#include "model_instance.h"
#include "tx_rig.h"

namespace {

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Done() const { return at_ >= size_; }
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// The transmitter with port storage, fired once per sample.
struct Replay : TxRig {
    explicit Replay(const varnok_meridel_qlx_ami_tx& m)
        : TxRig(m.SamplesPerBit, m.BitTime,
                TxCodes{m.TXPRECURSOR, m.TXPOSTCURSOR, m.TXDIFFCTRL, m.TX_PVT}) {
        if (!Start()) std::abort();
    }
};

struct Slot {
    void* handle = nullptr;
    bool live = false;
    std::unique_ptr<Replay> replay;  // only for an instance whose AMI_Init succeeded
};

// A failed check names its line on standard error and aborts.
#define Check(condition)                                                                 \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "check failed at line %d: %s\n", __LINE__, #condition); \
            std::abort();                                                                \
        }                                                                                \
    } while (false)

// The same bits, or NaN on both sides: which NaN an operation on two NaN
// operands returns depends on the operand order a compiler picks.
bool SameSample(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

double Sample(std::uint8_t b) {
    static const double odd[] = {0.0, -0.0, 4.9e-324, -1e-310, 1e305, INFINITY, -INFINITY, NAN};
    if (b >= 248) return odd[b - 248];
    return (static_cast<double>(b) - 124.0) / 200.0;
}

void Init(Slot& slot, Reader& r) {
    static const double bitTimes[] = {1e-10, 6.134969325153374e-11, 2.5e-11, 1e-9};
    const double bitTime = bitTimes[r.Byte() % 4];
    const std::uint8_t spbByte = r.Byte();
    double interval = bitTime / (1 + spbByte % 64);
    if (spbByte >= 250) {
        const double weird[] = {0.0, -bitTime, INFINITY, NAN, bitTime * 3, 1e300};
        interval = weird[spbByte - 250];
    }
    std::string params;
    if (r.Byte() % 4 == 0) {  // raw bytes
        const std::size_t n = r.Byte() % 48;
        for (std::size_t k = 0; k < n; ++k) params += static_cast<char>(r.Byte() | 1);
    } else {
        auto code = [&] { return std::to_string(static_cast<std::int8_t>(r.Byte())); };
        params = "(varnok_meridel_qlx_ami_tx (TXPRECURSOR " + code() + ") (TXPOSTCURSOR " + code() +
                 ") (TXDIFFCTRL " + code() + ") (TX_PVT " + code() + "))";
    }
    std::vector<char> text(params.begin(), params.end());
    text.push_back('\0');
    const std::vector<char> before = text;
    double impulse[4] = {1, 2, 3, 4};
    char* out = nullptr;
    char* msg = nullptr;
    const long result =
        AMI_Init(impulse, 2, 0, interval, bitTime, text.data(), &out, &slot.handle, &msg);
    Check(result == 0 || result == 1);
    Check(text == before);
    Check(impulse[0] == 1 && impulse[3] == 4);
    Check(slot.handle != nullptr);
    slot.live = true;
    if (result == 1) {
        slot.replay = std::make_unique<Replay>(static_cast<ModelInstance*>(slot.handle)->Model);
    }
}

void GetWave(Slot& slot, Reader& r) {
    constexpr long kChunk = varnok_meridel_qlx_ami_tx::kBlockSize;
    const std::uint8_t kind = r.Byte() % 9;
    const long sizes[] = {
        0, 1, 2 * (r.Byte() % 40) + 1, kChunk - 1, kChunk, kChunk + 1, 3 * kChunk + 7, -5, 17};
    const long size = sizes[kind];
    const bool nullWave = kind == 8;
    constexpr long kGuard = 4;
    const double guard = -12345.678;
    std::vector<double> buffer(static_cast<std::size_t>((size > 0 ? size : 0) + 2 * kGuard), guard);
    double* wave = nullWave ? nullptr : buffer.data() + kGuard;
    const std::uint8_t first = r.Byte(), step = r.Byte();
    for (long k = 0; k < size && wave != nullptr; ++k) {
        wave[k] = Sample(static_cast<std::uint8_t>(first + step * (k / 7)));
    }
    const std::vector<double> input(
        wave != nullptr ? wave : buffer.data(),
        (wave != nullptr ? wave : buffer.data()) + (size > 0 ? size : 0));
    double clocks[3] = {7, 7, 7};
    const long result = AMI_GetWave(wave, size, clocks, nullptr, slot.handle);
    Check(result == 0 || result == 1);
    Check(clocks[0] == -1.0 && clocks[1] == 7 && clocks[2] == 7);
    for (long k = 0; k < kGuard; ++k) {
        Check(buffer[static_cast<std::size_t>(k)] == guard);
        Check(buffer[buffer.size() - 1 - static_cast<std::size_t>(k)] == guard);
    }
    if (slot.replay && size >= 0 && !(nullWave && size > 0)) {
        Check(result == 1);
        Replay& replay = *slot.replay;
        for (long k = 0; k < size; ++k) {
            replay.in = input[static_cast<std::size_t>(k)];
            replay.model.Run();
            Check(SameSample(replay.out, wave[k]));
        }
    } else if (!slot.replay) {
        Check(result == 0);
    }
}

void Close(Slot& slot) {
    if (!slot.live) return;
    const long result = AMI_Close(slot.handle);
    Check(result == 0 || result == 1);
    slot = Slot{};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader r(data, size);
    Slot slots[8];
    for (int calls = 0; !r.Done() && calls < 64; ++calls) {
        const std::uint8_t op = r.Byte();
        Slot& slot = slots[(op >> 2) % 8];
        switch (op % 3) {
            case 0:
                Close(slot);
                Init(slot, r);
                break;
            case 1:
                if (slot.live) GetWave(slot, r);
                break;
            default:
                Close(slot);
        }
    }
    for (Slot& slot : slots) Close(slot);
    return 0;
}
