// An input sink that writes what the terminal input decoder delivers as
// text: "k97" a character, "s-20" a special key, "m0,5,12,P" / "m0,5,12,R"
// a press or release report, "c10,1" a cursor position; items separated by
// spaces.
#pragma once

#include <string>

#include "view/terminal/input_decoder.h"

namespace qor::test {

class InputLog final : public tui::InputSink {
public:
    std::string text;
    size_t count = 0;

    void key(int32_t code, bool special) override { add((special ? "s" : "k") + std::to_string(code)); }
    void mouse(int32_t b, int32_t x, int32_t y, bool released) override {
        add("m" + std::to_string(b) + "," + std::to_string(x) + "," + std::to_string(y) + (released ? ",R" : ",P"));
    }
    void cursor_position(int32_t row, int32_t column) override {
        add("c" + std::to_string(row) + "," + std::to_string(column));
    }

private:
    void add(const std::string& item) {
        text += (text.empty() ? "" : " ") + item;
        count++;
    }
};

}  // namespace qor::test
