// Constants of the Zstandard format shared by the decoder and the
// compressor: length codes with their baselines and extra bits, the
// predefined distributions, and the symbol spreading of FSE tables.
#pragma once
#include <cstdint>

namespace qor::zstd {

constexpr uint32_t kMagic = 0xFD2FB528u;
constexpr uint32_t kSkippableMask = 0xFFFFFFF0u;
constexpr uint32_t kSkippableMagic = 0x184D2A50u;
constexpr int32_t kBlockMax = 131072;

constexpr int kLitLenCodes = 36;    // literal-length codes 0..35
constexpr int kMatchLenCodes = 53;  // match-length codes 0..52
constexpr int kOffsetCodes = 32;    // offset codes 0..31 (only 0..30 decode)

constexpr int kLitLenMaxLog = 9;
constexpr int kOffsetMaxLog = 8;
constexpr int kMatchLenMaxLog = 9;

constexpr int kLitLenDefaultLog = 6;
constexpr int kOffsetDefaultLog = 5;
constexpr int kMatchLenDefaultLog = 6;


constexpr int kOffsetDefaultCount = 29;

inline constexpr uint32_t kLitLenBase[kLitLenCodes] = {
    0,  1,  2,   3,   4,   5,   6,    7,    8,    9,     10,    11,
    12, 13, 14,  15,  16,  18,  20,   22,   24,   28,    32,    40,
    48, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 32768, 65536};
inline constexpr uint8_t kLitLenBits[kLitLenCodes] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1,
    1, 1, 2, 2, 3, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

inline constexpr uint32_t kMatchLenBase[kMatchLenCodes] = {
    3,   4,   5,   6,    7,    8,    9,    10,   11,    12,    13,    14,    15,   16,
    17,  18,  19,  20,   21,   22,   23,   24,   25,    26,    27,    28,    29,   30,
    31,  32,  33,  34,   35,   37,   39,   41,   43,    47,    51,    59,    67,   83,
    99,  131, 259, 515,  1027, 2051, 4099, 8195, 16387, 32771, 65539};
inline constexpr uint8_t kMatchLenBits[kMatchLenCodes] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 4, 4, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

inline constexpr int16_t kLitLenDefault[kLitLenCodes] = {
    4, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 3, 2, 1, 1, 1, 1, 1, -1, -1, -1, -1};
inline constexpr int16_t kMatchLenDefault[kMatchLenCodes] = {
    1, 4, 3, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1, -1, -1};
inline constexpr int16_t kOffsetDefault[kOffsetDefaultCount] = {
    1, 1, 1, 1, 1, 1, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1};


// Index of the highest set bit; 0 for 0.
[[nodiscard]] inline int highbit(uint32_t x) { return x ? 31 - __builtin_clz(x) : 0; }


// Code of each literal length below 64 and of each match length - 3 below 128.
struct LengthCodeTables {
    uint8_t lit[64];
    uint8_t match[128];
    constexpr LengthCodeTables() : lit(), match() {
        for (int c = 0; c < kLitLenCodes; ++c)
            for (uint32_t v = kLitLenBase[c]; v < 64 && v < kLitLenBase[c] + (1u << kLitLenBits[c]); ++v)
                lit[v] = static_cast<uint8_t>(c);
        for (int c = 0; c < kMatchLenCodes; ++c)
            for (uint32_t v = kMatchLenBase[c] - 3; v < 128 && v < kMatchLenBase[c] - 3 + (1u << kMatchLenBits[c]); ++v)
                match[v] = static_cast<uint8_t>(c);
    }
};

inline constexpr LengthCodeTables kLengthCodes{};


[[nodiscard]] inline int litlen_code(uint32_t length) {
    return length <= 63 ? kLengthCodes.lit[length] : highbit(length) + 19;
}

[[nodiscard]] inline int matchlen_code(uint32_t length) {
    uint32_t m = length - 3;
    return m <= 127 ? kLengthCodes.match[m] : highbit(m) + 36;
}


// Spreads the symbols of a normalized distribution (probabilities summing to
// 1 << log; -1 marks a probability below one) over the 1 << log cells.
// Symbols of probability -1 take the top cells from the last down.
void fse_spread(const int16_t* norm, int symbols, int log, uint8_t* cells);

}  // namespace qor::zstd
