// A fresh evaluator with the real library and an empty terminal engine:
// faces are objects made by scripts, widgets are made for them here, and
// the engine's state is dropped after each test.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/memory/series_tail.h"
#include "runtime/words/context.h"
#include "runtime/words/word.h"
#include "tests/support/environment_runtime.h"
#include "tests/support/view_faces.h"
#include "tests/unit/eval/transcript_harness.h"
#include "view/terminal/backend.h"
#include "view/terminal/face_fields.h"

namespace qor::test {

class ViewTest : public EnvironmentTest {
protected:
    void SetUp() override {
        EnvironmentTest::SetUp();
        tui::reset_backend();
    }
    void TearDown() override {
        tui::reset_backend();
        EnvironmentTest::TearDown();
    }

    // Runs console input; answers what it printed and its result line.
    static std::string run(std::string_view input) { return run_line(input); }

    // The value of a global word.
    static Cell value(std::string_view name) { return *context::value_cell(word::load(name)); }

    // Makes a widget for the face a global word holds and links the face to
    // it through its state block, as shown faces are.
    static tui::Widget* show(std::string_view face_word, tui::Widget* parent, tui::Rect rect, uint32_t flags = 0) {
        run(std::string(face_word) + "/state: copy [none] ()");
        return show_face(value(face_word), parent, rect, flags);
    }

    // A window of the size for the face, shown and active.
    static tui::Widget* window(std::string_view face_word, int width, int height) {
        tui::Widget* root = show(face_word, nullptr, {0, 0, float(width), float(height)});
        tui::add_window(root);
        tui::activate_window(root);
        return root;
    }

    // The grid's characters, one string per row (continuations left out).
    static std::vector<std::u32string> rows() {
        const tui::CellGrid& g = tui::backend().grid;
        std::vector<std::u32string> out;
        for (int y = 0; y < g.height(); y++) {
            std::u32string row;
            for (int x = 0; x < g.width(); x++) {
                const tui::GridCell& c = g.at(x, y);
                if (c.attrs & tui::attr::continuation) continue;
                row += c.ch == 0 ? U' ' : static_cast<char32_t>(c.ch);
            }
            out.push_back(row);
        }
        return out;
    }
};

}  // namespace qor::test
