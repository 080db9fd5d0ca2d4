// Fuzz target: the raw deflate decoder on arbitrary bytes. Checks that
// measuring and decoding agree, that a short buffer is never overrun, and
// that whatever decodes survives a round trip through our encoder.
#include <cstdint>

#include "runtime/compress/deflate.h"
#include "tests/fuzz/deflate_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qor::fuzz::check_decoder(qor::inflate::decompress, qor::deflate::compress, data, size);
    return 0;
}
