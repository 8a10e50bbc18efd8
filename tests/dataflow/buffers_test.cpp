// Ring buffers, buses and the element-type family.
#include <gtest/gtest.h>

#include <complex>
#include <cstdint>
#include <new>
#include <vector>

#include "circular_buffer.h"
#include "wiring.h"

using namespace Tarvessa;
using testsupport::Wire;

namespace {

template <class T>
std::vector<T> Slots(const CircularBuffer<T>& b) {
    return std::vector<T>(b.Elements(), b.Elements() + b.Capacity);
}

}  // namespace

TEST(CircularBuffer, should_never_lower_depth_in_set_rate) {
    CircularBuffer<double> b;
    EXPECT_EQ(b.Rate, 1u);
    EXPECT_EQ(b.Depth, 1u);
    EXPECT_EQ(b.ElementSize, 8u);
    b.SetRate(3);
    EXPECT_EQ(b.Rate, 3u);
    EXPECT_EQ(b.Depth, 3u);
    b.SetRate(1);
    EXPECT_EQ(b.Rate, 1u);
    EXPECT_EQ(b.Depth, 3u);
    EXPECT_EQ(CircularBuffer<int>().ElementSize, 4u);
}

TEST(CircularBuffer, should_keep_ring_order_when_resized) {
    CircularBuffer<double> b;
    b.Resize(4, true, nullptr);
    ASSERT_EQ(b.Capacity, 4u);
    EXPECT_EQ(Slots(b), (std::vector<double>{0, 0, 0, 0}));
    double abcd[] = {1, 2, 3, 4};
    std::copy(abcd, abcd + 4, b.Elements());
    b.Position = 1;
    EXPECT_TRUE(b.Resize(6, true, nullptr));
    EXPECT_EQ(b.Position, 1u);
    EXPECT_EQ(Slots(b), (std::vector<double>{1, 0, 0, 2, 3, 4}));
    // Not growing changes nothing, contents included.
    EXPECT_TRUE(b.Resize(5, true, nullptr));
    EXPECT_TRUE(b.Resize(0, true, nullptr));
    EXPECT_EQ(Slots(b), (std::vector<double>{1, 0, 0, 2, 3, 4}));
    b.Release(nullptr);
    EXPECT_EQ(b.Data, nullptr);
    EXPECT_EQ(b.Capacity, 0u);
    EXPECT_EQ(b.Position, 0u);
}

TEST(CircularBuffer, should_split_copy_where_either_buffer_wraps) {
    double src[] = {10, 11, 12, 13};  // p q r s
    double dst[4] = {};
    CircularBuffer<double> a, b;
    Wire(a, src, 4);
    Wire(b, dst, 4);
    a.Position = 2;
    a.CopyTo(0, b, 0, 4);
    EXPECT_EQ(std::vector<double>(dst, dst + 4), (std::vector<double>{12, 13, 10, 11}));
    EXPECT_EQ(a.Position, 2u);
    EXPECT_EQ(b.Position, 0u);

    // Both wrap at different places; a count of 0 copies nothing.
    double small[3] = {-1, -1, -1};
    CircularBuffer<double> c;
    Wire(c, small, 3);
    c.Position = 2;
    a.CopyTo(1, c, 0, 3);  // source slots 3, 0, 1 -> destination slots 2, 0, 1
    EXPECT_EQ(std::vector<double>(small, small + 3), (std::vector<double>{10, 11, 13}));
    a.CopyTo(0, c, 0, 0);
    EXPECT_EQ(std::vector<double>(small, small + 3), (std::vector<double>{10, 11, 13}));
    a.CopyTo(3, c, 1, 1);  // single token: slot 1 of a into slot 0 of c
    EXPECT_EQ(small[0], 11);
}

TEST(CircularBuffer, should_wrap_advance_and_offsets) {
    double s[4] = {0, 1, 2, 3};
    CircularBuffer<double> b;
    Wire(b, s, 4);
    b.Position = 3;
    EXPECT_EQ(b.At(0), 3);
    EXPECT_EQ(b.At(1), 0);
    EXPECT_EQ(b.At(3), 2);
    b.Advance();
    EXPECT_EQ(b.Position, 0u);
    b.Rate = 0;
    b.Advance();
    EXPECT_EQ(b.Position, 0u);
    b.Rate = 3;
    b.Advance();
    b.Advance();
    EXPECT_EQ(b.Position, 2u);
}

TEST(CircularBuffer, should_refuse_allocations_beyond_32_bit_bytes) {
    CircularBuffer<double> d;
    EXPECT_THROW(d.Allocate(0x20000000u), std::bad_alloc);  // 2^29 doubles = 4 GiB
    CircularBuffer<std::complex<double>> c;
    EXPECT_THROW(c.Resize(0x10000000u, true, nullptr), std::bad_alloc);
    EXPECT_EQ(c.Capacity, 0u);
}

TEST(CircularBuffer, should_zero_complex_and_envelope_elements_when_allocated_or_cleared) {
    CircularBuffer<std::complex<float>> cf;
    auto* p = static_cast<std::complex<float>*>(cf.Allocate(3));
    EXPECT_EQ(p[2], std::complex<float>());
    cf.Release(p);

    CircularBuffer<EnvelopeSignal> e;
    e.Resize(2, false, nullptr);
    EXPECT_EQ(e.At(1), EnvelopeSignal{});
    e.At(0).CarrierFrequency = 5.0;
    e.Clear(0, 2, nullptr);
    EXPECT_EQ(e.At(0), EnvelopeSignal{});
    e.Release(nullptr);

    CircularBuffer<bool> flags;
    flags.Resize(3, true, nullptr);
    EXPECT_FALSE(flags.At(2));
    flags.Release(nullptr);
}

TEST(CircularBuffer, should_reshape_matrix_elements_on_copy_and_clear) {
    CircularBuffer<Matrix<double>> a, b;
    a.Resize(2, true, nullptr);
    b.Resize(2, true, nullptr);
    a.At(0).Reshape({2, 3});
    for (std::uint32_t k = 0; k < 6; ++k) a.At(0)[k] = k + 0.5;
    a.CopyTo(0, b, 1, 1);
    ASSERT_EQ(b.At(1).Size, 6u);
    EXPECT_EQ(b.At(1).Dims[1], 3u);
    EXPECT_EQ(b.At(1)[5], 5.5);
    a.CopyTo(0, b, 0, 2);  // element by element, the empty one included
    EXPECT_EQ(b.At(1).Size, 0u);
    EXPECT_EQ(b.At(0)[4], 4.5);

    const std::uint32_t dims[] = {1, 4};
    BufferShape shape{2, dims};
    b.Clear(0, 1, &shape);
    ASSERT_EQ(b.At(0).Size, 4u);
    EXPECT_EQ(b.At(0)[3], 0.0);
    b.Clear(0, 1, nullptr);
    EXPECT_EQ(b.At(0).Size, 0u);
    a.Release(nullptr);
    b.Release(nullptr);

    CircularBuffer<Matrix<std::complex<float>>> cm;
    cm.Resize(1, true, &shape);
    EXPECT_EQ(cm.At(0).Size, 4u);
    cm.Release(nullptr);
}

TEST(TimedCircularBuffer, should_time_tokens_from_the_window_start) {
    TimedCircularBuffer<double> t;
    EXPECT_FALSE(t.SetSampleRate(-1.0));
    EXPECT_FALSE(t.SetSampleRate(std::nan("")));
    EXPECT_EQ(t.GetTimeStep(), 0.0);
    ASSERT_TRUE(t.SetSampleRate(4.0));
    EXPECT_EQ(t.GetTimeStep(), 0.25);
    t.SetStartTime(1.0);
    t.SetRate(2);
    t.Depth = 5;  // rate 2 plus three tokens of history
    // token = firing*2 - 3 + offset
    EXPECT_DOUBLE_EQ(t.TimeOf(0, 0), 1.0 - 0.75);
    EXPECT_DOUBLE_EQ(t.TimeOf(4, 10), 1.0 + (20 - 3 + 4) * 0.25);
    ASSERT_TRUE(t.SetSampleRate(0.0));
    EXPECT_EQ(t.TimeOf(3, 7), 1.0);

    // Token numbers beyond 64 signed bits wrap instead of overflowing:
    // 2^62 * 2 - (2 - 2) = 2^63 reads as -2^63.
    ASSERT_TRUE(t.SetSampleRate(1.0));
    t.SetStartTime(0.0);
    t.Depth = 2;
    EXPECT_EQ(t.TimeOf(0, std::int64_t{1} << 62), -9223372036854775808.0);
    EXPECT_EQ(t.TimeOf(1, -3), -5.0);
}

TEST(CircularBufferBus, should_rebuild_buffers_only_when_size_changes) {
    CircularBufferBusT<CircularBuffer<double>> bus;
    EXPECT_EQ(bus.Size, 0u);
    bus.SetSize(3);
    double store = 1.0;
    Wire(bus.Element(1), &store);
    bus.SetSize(3);
    EXPECT_EQ(bus.Element(1).Data, &store);
    bus.SetSize(2);
    EXPECT_EQ(bus.Size, 2u);
    EXPECT_EQ(bus.Element(1).Data, nullptr);
    EXPECT_EQ(store, 1.0);
    CircularBufferBus& base = bus;
    EXPECT_EQ(&base.Element(0), &bus.Buffers[0]);
    bus.SetSize(0);
    EXPECT_EQ(bus.Buffers, nullptr);

    CircularBufferBusT<TimedCircularBuffer<std::complex<double>>> timed;
    timed.SetSize(2);
    EXPECT_EQ(timed.Element(1).ElementSize, sizeof(std::complex<double>));
}
