// Matrix and the polynomial block.
#include "polynomial.h"

#include <gtest/gtest.h>

#include <complex>
#include <cstdint>
#include <limits>
#include <new>
#include <utility>
#include <vector>

#include "wiring.h"

using namespace Tarvessa;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using testsupport::Wire;

TEST(Matrix, should_lay_out_first_index_fastest_and_never_shrink) {
    Matrix<double> m;
    EXPECT_EQ(m.NumDims, 2u);
    EXPECT_EQ(m.Size, 0u);
    m.Reshape({1, 12});
    EXPECT_EQ(m.Size, 12u);
    EXPECT_EQ(m.Capacity, 12u);
    EXPECT_EQ(m.Strides[0], 1u);
    EXPECT_EQ(m.Strides[1], 1u);
    double* storage = m.Data;
    m[11] = 7.0;
    m.Reshape({3, 4});
    EXPECT_EQ(m.Data, storage);
    EXPECT_EQ(m[11], 7.0);  // values stay when the storage is kept
    EXPECT_EQ(m.Strides[1], 3u);
    m.Reshape({2, 3, 4});
    EXPECT_EQ(m.NumDims, 3u);
    EXPECT_EQ(m.Size, 24u);
    EXPECT_EQ(m.Capacity, 24u);
    EXPECT_EQ(m.Strides[2], 6u);
    m.Reshape({0, 0});
    EXPECT_EQ(m.Size, 0u);
    EXPECT_EQ(m.Capacity, 24u);
    m.Reshape(0, nullptr);
    EXPECT_EQ(m.Size, 0u);
    const std::uint32_t none[1] = {};
    m.Reshape(0, none);
    EXPECT_EQ(m.Size, 1u);  // empty product
}

TEST(Matrix, should_zero_past_the_assigned_values) {
    std::vector<double> twelve(12, 1.5), thirty(30, 2.5);
    Matrix<double> m;
    m.Reshape({4, 5});
    m.Assign(twelve.data(), 12);
    EXPECT_EQ(m[11], 1.5);
    for (std::uint32_t k = 12; k < 20; ++k) EXPECT_EQ(m[k], 0.0);
    m.Reshape({1, 12});
    m.Assign(thirty.data(), 30);
    EXPECT_EQ(m[11], 2.5);
    EXPECT_EQ(m.Capacity, 20u);
}

TEST(Matrix, should_refuse_an_overflowing_shape) {
    Matrix<float> m;
    EXPECT_THROW(m.Reshape({65536, 65536}), std::bad_alloc);
    EXPECT_THROW(m.Reshape({1u << 30, 2}), std::bad_alloc);  // 8 GiB of floats
    EXPECT_EQ(m.Size, 0u);
    m.Reshape({2, 2});
    EXPECT_EQ(m.Size, 4u);
}

TEST(Matrix, should_deep_copy_and_empty_the_source_of_a_move) {
    Matrix<std::complex<double>> a;
    a.Reshape({2, 1});
    a[0] = {1, 2};
    a[1] = {3, 4};
    Matrix<std::complex<double>> b(a);
    EXPECT_NE(b.Data, a.Data);
    b[0] = {9, 9};
    EXPECT_EQ(a[0], std::complex<double>(1, 2));
    Matrix<std::complex<double>> c(std::move(a));
    EXPECT_EQ(a.Data, nullptr);
    EXPECT_EQ(a.Size, 0u);
    EXPECT_EQ(c[1], std::complex<double>(3, 4));
    a = c;  // a moved-from matrix accepts a new value
    EXPECT_EQ(a.Size, 2u);
    c = std::move(b);
    EXPECT_EQ(c[0], std::complex<double>(9, 9));
    Matrix<int> i;
    Matrix<bool> flags;
    flags.Reshape({3, 1});
    EXPECT_EQ(flags.Size, 3u);
    EXPECT_EQ(i.Size, 0u);
}

namespace {
template <class T>
std::vector<T> Evaluate(std::vector<T> coefficients, std::vector<T> xs) {
    T in{}, out{};
    Polynomial<T, 0> p;
    Wire(p.Input, &in);
    Wire(p.Output, &out);
    p.Coefficients.Reshape({1, static_cast<std::uint32_t>(coefficients.size())});
    p.Coefficients.Assign(coefficients.data(), static_cast<std::uint32_t>(coefficients.size()));
    EXPECT_TRUE(p.Initialize());
    std::vector<T> ys;
    for (T x : xs) {
        in = x;
        EXPECT_TRUE(p.Run());
        ys.push_back(out);
    }
    EXPECT_TRUE(p.Finalize());
    return ys;
}
}  // namespace

TEST(Polynomial, should_evaluate_by_horner_from_the_top_coefficient) {
    EXPECT_EQ(Evaluate<double>({0, 1, 0, -0.25}, {1.0, 2.0, -1.0}),
              (std::vector<double>{0.75, 0.0, -0.75}));
    EXPECT_EQ(Evaluate<double>({3.0}, {-5.0, 1e300}), (std::vector<double>{3.0, 3.0}));
    // Horner order is observable in rounding: ((1e16*x) + 1)*x + -1e16... with x = 1.
    const double c0 = -1e16, c1 = 1.0, c2 = 1e16;
    EXPECT_EQ(Evaluate<double>({c0, c1, c2}, {1.0})[0], (c2 * 1.0 + c1) * 1.0 + c0);
}

TEST(Polynomial, should_evaluate_int_and_complex_instances) {
    EXPECT_EQ(Evaluate<int>({1, 2, 3}, {2, -1}), (std::vector<int>{17, 2}));
    // Wraps modulo 2^32 instead of overflowing: 65536^2 = 2^32 wraps to 0.
    EXPECT_EQ(Evaluate<int>({5, 0, 1}, {65536})[0], 5);
    const int big = std::numeric_limits<int>::max();
    EXPECT_EQ(Evaluate<int>({big, big}, {1})[0], -2);
    using C = std::complex<double>;
    const C j(0, 1);
    EXPECT_EQ(Evaluate<C>({C(1, 0), C(0, 0), C(1, 0)}, {j})[0], C(0, 0));  // 1 + j^2
}

TEST(Polynomial, should_refuse_empty_coefficients) {
    Polynomial<double, 0> p;
    CaptureStderr();
    EXPECT_FALSE(p.Initialize());
    EXPECT_EQ(GetCapturedStderr(), "Coeffecients array must not be empty\n");
}

TEST(Matrix, should_take_a_zero_size_anywhere_as_an_empty_product) {
    Matrix<double> m;
    const std::uint32_t zeroLast[3] = {65536, 65536, 0};
    EXPECT_NO_THROW(m.Reshape(3, zeroLast));
    EXPECT_EQ(m.Size, 0u);
    EXPECT_EQ(m.NumDims, 3u);
    EXPECT_EQ(m.Dims[1], 65536u);
    const std::uint32_t tooBig[3] = {65536, 65536, 2};
    EXPECT_THROW(m.Reshape(3, tooBig), std::bad_alloc);
}
