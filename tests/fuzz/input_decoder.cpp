// Fuzzes the terminal input decoder with random bytes, delivered in two
// reads cut at a point the input chooses. It must never crash or run on for
// ever, and whatever the garbage, a key typed after it still arrives: an
// arrow key's sequence and a letter following the bytes decode as exactly
// those two keys, with nothing left waiting.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "view/terminal/input_decoder.h"

namespace {

// Keeps the last two events; counts them all.
class Tail final : public qor::tui::InputSink {
public:
    std::string last[2];
    size_t count = 0;

    void key(int32_t code, bool special) override { add((special ? "s" : "k") + std::to_string(code)); }
    void mouse(int32_t b, int32_t x, int32_t y, bool released) override {
        add("m" + std::to_string(b) + "," + std::to_string(x) + "," + std::to_string(y) + (released ? "R" : "P"));
    }
    void cursor_position(int32_t row, int32_t column) override {
        add("c" + std::to_string(row) + "," + std::to_string(column));
    }

private:
    void add(std::string event) {
        last[0] = std::move(last[1]);
        last[1] = std::move(event);
        count++;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qor::tui::InputDecoder decoder;
    Tail sink;
    const size_t cut = size == 0 ? 0 : data[0] % (size + 1);
    decoder.append(data, cut);
    decoder.decode(sink, 0);
    decoder.append(data + cut, size - cut);
    const std::string after = "\x1B[Az";
    decoder.append(reinterpret_cast<const uint8_t*>(after.data()), after.size());
    decoder.decode(sink, 1);
    if (sink.last[0] != "s-20" || sink.last[1] != "k122" || decoder.pending() != 0) std::abort();
    // No byte makes more than one event.
    if (sink.count > size + 2) std::abort();
    return 0;
}
