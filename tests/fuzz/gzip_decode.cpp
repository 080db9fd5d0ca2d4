// Fuzz target: the gzip container decoder on arbitrary bytes.
#include <cstdint>

#include "runtime/compress/deflate.h"
#include "tests/fuzz/deflate_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qor::fuzz::check_decoder(qor::gzip::decompress, qor::gzip::compress, data, size);
    return 0;
}
