// A face's draw block of 10,000 primitives (lines, filled boxes, triangles,
// circles and texts, with pen and fill colours between them, many reaching
// far past the window) rendered into a 200 x 60 grid, next to the same
// shapes drawn by direct calls of the cell operations, in one run: the
// first is what a frame costs, the ratio what reading the commands adds.
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "app/startup.h"
#include "bench/bench_support.h"
#include "runtime/environment/environment.h"
#include "runtime/memory/call_stack.h"
#include "tests/support/view_faces.h"
#include "view/draw/draw_text.h"
#include "view/draw/shapes.h"
#include "view/terminal/backend.h"
#include "view/terminal/face_render.h"

using namespace qor;

namespace {

constexpr int width = 200;
constexpr int height = 60;
constexpr int primitives = 10000;
constexpr int renders = 200;

enum class Kind { line, box, triangle, circle, text };

struct Primitive {
    Kind kind;
    draw::Pt a, b, c;
    int64_t radius = 0;
    uint8_t r, g, bl;
};

// Shapes around the window, a quarter of them reaching far outside it.
std::vector<Primitive> make_primitives() {
    std::mt19937 rng(42);
    std::uniform_int_distribution<int64_t> x(-20, width + 20), y(-10, height + 10), far(-1'000'000, 1'000'000);
    std::uniform_int_distribution<int> byte(0, 255), radius(1, 20);
    std::vector<Primitive> out;
    for (int i = 0; i < primitives; i++) {
        Primitive p{static_cast<Kind>(i % 5), {x(rng), y(rng)}, {x(rng), y(rng)}, {x(rng), y(rng)}};
        if (i % 4 == 0) p.b = draw::Pt{far(rng), far(rng)};
        p.radius = radius(rng);
        p.r = static_cast<uint8_t>(byte(rng)), p.g = static_cast<uint8_t>(byte(rng)), p.bl = static_cast<uint8_t>(byte(rng));
        out.push_back(p);
    }
    return out;
}

std::string pair(draw::Pt p) { return std::to_string(p.x) + "x" + std::to_string(p.y); }

std::string commands_source(const std::vector<Primitive>& ps) {
    std::string s = "bench-face: make object! [text: none color: none font: none para: none options: none "
                    "draw: [\n";
    for (const Primitive& p : ps) {
        const std::string colour = std::to_string(p.r) + "." + std::to_string(p.g) + "." + std::to_string(p.bl);
        s += "pen " + colour + " ";
        switch (p.kind) {
            case Kind::line: s += "line " + pair(p.a) + " " + pair(p.b); break;
            case Kind::box: s += "fill-pen " + colour + " box " + pair(p.a) + " " + pair(p.b) + " fill-pen off"; break;
            case Kind::triangle: s += "triangle " + pair(p.a) + " " + pair(p.b) + " " + pair(p.c); break;
            case Kind::circle: s += "circle " + pair(p.a) + " " + std::to_string(p.radius); break;
            case Kind::text: s += "text " + pair(p.a) + " \"draw bench\""; break;
        }
        s += "\n";
    }
    return s + "] pane: none state: none] ()";
}

// The same shapes through the cell operations, with no commands to read.
void draw_directly(const std::vector<Primitive>& ps, const Cell& text) {
    tui::Backend& b = tui::backend();
    draw::DrawState s;
    s.grid = &b.grid;
    s.clip = tui::Clip{0, 0, width, height};
    for (const Primitive& p : ps) {
        s.pen_color = s.font_color = tui::colour::rgb(p.r, p.g, p.bl);
        switch (p.kind) {
            case Kind::line: draw::line(s, p.a, p.b); break;
            case Kind::box:
                s.fill = true;
                s.fill_color = s.pen_color;
                draw::box(s, p.a, p.b);
                s.fill = false;
                break;
            case Kind::triangle: draw::triangle(s, p.a, p.b, p.c); break;
            case Kind::circle: draw::circle(s, p.a, p.radius); break;
            case Kind::text: draw::text(s, p.a, text); break;
        }
    }
}

}  // namespace

int main() {
    rt::boot();
    rt::finish_boot();
    environment::run();
    stack::init_calls();
    const std::vector<Primitive> ps = make_primitives();
    test::eval_source(commands_source(ps));
    test::eval_source("bench-text: \"draw bench\" ()");
    tui::Widget* root = test::show_face(test::global_value("bench-face"), nullptr, {0, 0, width, height});
    tui::add_window(root);
    tui::activate_window(root);

    tui::render_window(*root, width, height);  // warm up
    // Processor time, so other programs on the machine do not count.
    double start = bench::thread_cpu_seconds();
    for (int i = 0; i < renders; i++) tui::render_window(*root, width, height);
    const double dialect_ms = (bench::thread_cpu_seconds() - start) * 1000.0 / renders;

    const Cell text = test::global_value("bench-text");
    start = bench::thread_cpu_seconds();
    for (int i = 0; i < renders; i++) {
        tui::backend().grid.clear();
        draw_directly(ps, text);
    }
    const double direct_ms = (bench::thread_cpu_seconds() - start) * 1000.0 / renders;

    std::printf("draw block of %d primitives on a %dx%d grid (target: under 10 ms a render)\n", primitives, width,
                height);
    std::printf("  face with the draw block  qor %7.3f ms   direct cell calls %7.3f ms (x%.2f)\n", dialect_ms, direct_ms,
                dialect_ms / direct_ms);
    return 0;
}
