// Format constants of Zstandard and the FSE symbol spreading that the
// decoder's tables and the compressor's tables must share exactly.
#include "runtime/compress/zstd_tables.h"

namespace qor::zstd {

void fse_spread(const int16_t* norm, int symbols, int log, uint8_t* cells) {
    const uint32_t size = 1u << log;
    const uint32_t mask = size - 1;
    uint32_t high = size - 1;
    for (int s = 0; s < symbols; ++s)
        if (norm[s] == -1) cells[high--] = static_cast<uint8_t>(s);
    const uint32_t step = (size >> 1) + (size >> 3) + 3;
    uint32_t pos = 0;
    for (int s = 0; s < symbols; ++s) {
        for (int i = 0; i < norm[s]; ++i) {
            cells[pos] = static_cast<uint8_t>(s);
            do {
                pos = (pos + step) & mask;
            } while (pos > high);
        }
    }
}

}  // namespace qor::zstd
