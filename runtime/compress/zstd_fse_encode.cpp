// FSE encoding tables and table descriptions for the zstd encoder. The
// symbol spreading is the decoder's, so both sides agree cell for cell.
#include "runtime/compress/zstd_fse_encode.h"

#include <algorithm>

#include "runtime/compress/zstd_tables.h"

namespace qor::zstd {

int fse_table_log(int ceiling, uint32_t total, uint32_t max_symbol) {
    int t = std::min(ceiling, highbit(total - 1) - 2);
    const int min_bits = std::min(highbit(total) + 1, highbit(max_symbol) + 2);
    if (t < min_bits) t = min_bits;
    return t < 5 ? 5 : t;
}

void fse_normalize(const uint32_t* counts, int symbols, uint32_t total, int log, int16_t* out) {
    // Rounding thresholds for small probabilities, by provisional value.
    static constexpr uint32_t kThreshold[8] = {0, 473195, 504333, 520860, 550000, 700000, 750000, 830000};
    const uint32_t size = 1u << log;
    const uint32_t low = total >> log;
    int largest = -1;
    int largest_p = 0;
    uint32_t sum = 0;
    int present = 0;
    for (int s = 0; s < symbols; ++s) {
        const uint64_t f = counts[s];
        if (f == 0) {
            out[s] = 0;
            continue;
        }
        ++present;
        int p;
        if (f <= low) {
            p = 1;
        } else {
            const uint64_t scaled = f << log;
            p = int(scaled / total);
            if (p < 8 && (scaled % total) * 1024 > uint64_t(total) * (kThreshold[p] >> 10)) ++p;
        }
        out[s] = int16_t(p);
        sum += uint32_t(p);
        if (p > largest_p) {
            largest_p = p;
            largest = s;
        }
    }
    const int64_t excess = int64_t(sum) - int64_t(size);
    if (excess < int64_t(largest_p >> 1)) {
        out[largest] = int16_t(largest_p - excess);
        return;
    }
    // The largest cannot absorb the rounding: spread again evenly.
    sum = 0;
    largest = -1;
    largest_p = 0;
    for (int s = 0; s < symbols; ++s) {
        if (counts[s] == 0) continue;
        const int p = int(uint64_t(size - uint32_t(present)) * counts[s] / total) + 1;
        out[s] = int16_t(p);
        sum += uint32_t(p);
        if (p > largest_p) {
            largest_p = p;
            largest = s;
        }
    }
    out[largest] = int16_t(largest_p + int(size - sum));
}

int fse_write_ncount(const int16_t* norm, int symbols, int log, uint8_t* dst) {
    uint8_t* op = dst;
    uint64_t acc = uint64_t(log - 5);
    unsigned count = 4;
    auto flush16 = [&] {
        while (count >= 16) {
            op[0] = uint8_t(acc);
            op[1] = uint8_t(acc >> 8);
            op += 2;
            acc >>= 16;
            count -= 16;
        }
    };
    int remaining = (1 << log) + 1;
    int threshold = 1 << log;
    int bits = log + 1;
    int symbol = 0;
    bool previous_zero = false;
    while (symbol < symbols && remaining > 1) {
        if (previous_zero) {
            int start = symbol;
            while (symbol < symbols && norm[symbol] == 0) ++symbol;
            while (symbol >= start + 3) {
                start += 3;
                acc |= uint64_t(3) << count;
                count += 2;
                flush16();
            }
            acc |= uint64_t(symbol - start) << count;
            count += 2;
            flush16();
        }
        int value = norm[symbol++];
        const int max = 2 * threshold - 1 - remaining;
        remaining -= value < 0 ? -value : value;
        ++value;
        if (value >= threshold) value += max;
        acc |= uint64_t(value) << count;
        count += unsigned(bits) - (value < max ? 1 : 0);
        previous_zero = value == 1;
        while (remaining < threshold) {
            --bits;
            threshold >>= 1;
        }
        flush16();
    }
    while (count > 0) {
        *op++ = uint8_t(acc);
        acc >>= 8;
        count = count > 8 ? count - 8 : 0;
    }
    return int(op - dst);
}

void fse_build_encoder(const int16_t* norm, int symbols, int log, FseEncoder& e) {
    const uint32_t size = 1u << log;
    uint8_t cells[512];
    fse_spread(norm, symbols, log, cells);
    uint32_t cumul[65];
    cumul[0] = 0;
    for (int s = 0; s < symbols; ++s) cumul[s + 1] = cumul[s] + uint32_t(norm[s] == -1 ? 1 : norm[s]);
    uint32_t next[64];
    for (int s = 0; s < symbols; ++s) next[s] = cumul[s];
    for (uint32_t u = 0; u < size; ++u) e.states[next[cells[u]]++] = uint16_t(size + u);
    for (int s = 0; s < symbols; ++s) {
        const int n = norm[s];
        FseEncoder::Symbol& sym = e.symbols[s];
        if (n == 0) {
            sym.delta_bits = (uint32_t(log + 1) << 16) - size;
            sym.delta_find = 0;
        } else if (n == 1 || n == -1) {
            sym.delta_bits = (uint32_t(log) << 16) - size;
            sym.delta_find = int32_t(cumul[s]) - 1;
        } else {
            const uint32_t max_bits = uint32_t(log - highbit(uint32_t(n - 1)));
            const uint32_t min_state = uint32_t(n) << max_bits;
            sym.delta_bits = (max_bits << 16) - min_state;
            sym.delta_find = int32_t(cumul[s]) - n;
        }
    }
    e.log = log;
    e.rle = false;
}

}  // namespace qor::zstd
