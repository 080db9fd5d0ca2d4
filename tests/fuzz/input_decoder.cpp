// Fuzzes the terminal input decoder with random bytes, delivered in two
// reads cut at a point the input chooses. It must never crash or run on for
// ever, and whatever the garbage, a key typed after it still arrives: an
// arrow key's sequence and a letter following the bytes decode as exactly
// those two keys, with nothing left waiting.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/support/input_log.h"
#include "view/terminal/input_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qor::tui::InputDecoder decoder;
    qor::test::InputLog sink;
    const size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    decoder.append(data, cut);
    decoder.decode(sink, 0);
    decoder.append(data + cut, size - cut);
    const std::string after = "\x1B[Az";
    decoder.append(reinterpret_cast<const uint8_t*>(after.data()), after.size());
    decoder.decode(sink, 1);
    const std::string& log = sink.text;
    const bool ends_right = log == "s-20 k122" || (log.size() > 10 && log.compare(log.size() - 10, 10, " s-20 k122") == 0);
    if (!ends_right || decoder.pending() != 0) std::abort();
    // No byte makes more than one event.
    if (sink.count > size + 2) std::abort();
    return 0;
}
