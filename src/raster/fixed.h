#pragma once

#include <cstdint>

// 16.16 fixed-point arithmetic of the scene renderer and the waves. Every operation wraps
// as 32-bit two's-complement arithmetic does, so the results are the same on every
// compiler and never undefined.
namespace qv::fixed {

using Fixed = int32_t;

inline constexpr int FRACBITS = 16;
inline constexpr Fixed FRACUNIT = 1 << FRACBITS;
// Added before the shift of the edge rounding: slightly less than one unit, so values
// within 1/16 above a whole number round down to it.
inline constexpr uint32_t CEILBIAS = 0xEFFF;

// Integer to 16.16.
constexpr Fixed ToFixed(int32_t value) {
    return static_cast<Fixed>(static_cast<uint32_t>(value) << FRACBITS);
}

// 16.16 to integer: the upper half of the 32 bits, read as a signed 16-bit number.
constexpr int32_t ToInt(Fixed value) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(value) >> FRACBITS));
}

// 16.16 to a texel or table index: the upper half of the 32 bits read as unsigned, so
// coordinates from 32768 to 65535 stay positive (and larger ones wrap below 65536).
constexpr int32_t ToIndex(Fixed value) {
    return static_cast<int32_t>(static_cast<uint32_t>(value) >> FRACBITS);
}

// The edge rounding of spans and texture ends: (value + 0xEFFF) shifted right by 16,
// keeping the sign.
constexpr int32_t Ceil(Fixed value) {
    return static_cast<int32_t>(static_cast<uint32_t>(value) + CEILBIAS) >> FRACBITS;
}

// Product of two 32-bit values, keeping the low 32 bits of the 64-bit result.
constexpr int32_t Mul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint64_t>(static_cast<int64_t>(a) * b));
}

// A 16.16 value times an integer, reduced to an integer: ToInt(Mul(value, n)).
constexpr int32_t MulToInt(Fixed value, int32_t n) {
    return ToInt(Mul(value, n));
}

// A 16.16 value times an integer, reduced to an integer toward zero, on the whole 64-bit
// product: the displacement of the waves.
constexpr int32_t MulToIntTowardZero(Fixed value, int32_t n) {
    return static_cast<int32_t>(static_cast<int64_t>(value) * n / FRACUNIT);
}

// 1 / n in 16.16: (2^32 + n) div (n * 65536). Defined for n >= 1.
constexpr Fixed Reciprocal(int32_t n) {
    return static_cast<Fixed>(((uint64_t{1} << 32) + static_cast<uint64_t>(n)) /
                              (static_cast<uint64_t>(n) << FRACBITS));
}

// Wrapping addition for values stepped along an edge or a span.
constexpr Fixed Add(Fixed a, Fixed b) {
    return static_cast<Fixed>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

} // namespace qv::fixed
