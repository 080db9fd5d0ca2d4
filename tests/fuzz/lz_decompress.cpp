// Fuzzes the LZ decoder: any input is either refused or decodes to at most
// the size its header announces, without reading outside the input.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/compress/lz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto decoded = qor::lz::decompress({data, size});
    if (decoded) {
        uint32_t total;
        std::memcpy(&total, data + 4, 4);
        if (decoded->size() > total) std::abort();
    }
    return 0;
}
