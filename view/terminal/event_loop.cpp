// The event loop and the frame clock.
#include "view/terminal/event_loop.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>

#include "runtime/datatypes/logic.h"
#include "runtime/core/error_fire.h"
#include "runtime/memory/exit_codes.h"
#include "runtime/eval/interrupt.h"
#include "view/terminal/backend.h"
#include "view/terminal/dispatch.h"
#include "view/terminal/face_fields.h"
#include "view/terminal/input_events.h"
#include "view/terminal/screen.h"
#include "view/terminal/terminal.h"

namespace qor::tui {

namespace {

// Milliseconds on the monotonic clock.
int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The most one look at the input takes, so a flood of input still lets
// frames run.
constexpr size_t max_read = 1 << 16;

// Reads what the terminal has sent, without waiting, into the decoder.
// Answers the bytes read.
size_t poll_input() {
    Backend& b = backend();
    if (!b.terminal.open) return 0;
    size_t total = 0;
    uint8_t bytes[4096];
    while (total < max_read) {
        pollfd p{b.terminal.in_fd, POLLIN, 0};
        if (poll(&p, 1, 0) <= 0 || (p.revents & POLLIN) == 0) break;
        const ssize_t n = ::read(b.terminal.in_fd, bytes, sizeof bytes);
        if (n <= 0) break;
        b.input.append(bytes, static_cast<size_t>(n));
        total += static_cast<size_t>(n);
    }
    return total;
}

// Waits up to `ms` for input (or a signal such as a size change); a
// terminal that is not open just paces the frame.
void wait_input(int ms) {
    if (ms <= 0) return;
    Backend& b = backend();
    if (!b.terminal.open) {
        ::usleep(static_cast<useconds_t>(ms) * 1000);
        return;
    }
    pollfd p{b.terminal.in_fd, POLLIN, 0};
    (void)poll(&p, 1, ms);
}

void fire_timer(Widget* owner) {
    event::Record r;
    deliver(*owner, event::Type::time, r, 0);
}

// Mouse reporting as system/view/platform/mouse-event? asks.
void follow_mouse_setting() {
    Backend& b = backend();
    const Cell setting = field(view_field(Name::platform), Name::mouse_event_q);
    const bool wanted = logic::is_true(setting);
    if (wanted == b.mouse_reporting) return;
    b.mouse_reporting = wanted;
    std::string out;
    if (wanted) mouse_on(out);
    else mouse_off(out);
    write_out(out);
    publish_restore_sequence();
}

// The outermost level's terminal session: opened on entry, and closed on
// every way out, an exception unwinding included.
class TerminalSession {
public:
    TerminalSession() {
        intern_names();
        Backend& b = backend();
        b.last_tick = now_ms();
        if (open_terminal()) {
            if (b.terminal.full_screen) {
                std::string out;
                enter_alternate_screen(out);
                write_out(out);
            }
            follow_mouse_setting();
        }
        b.terminal.dirty = true;
    }
    ~TerminalSession() {
        close_terminal();
        Backend& b = backend();
        b.mouse_reporting = false;
        if (b.windows.empty()) reset_backend();
    }
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;
};

// Milliseconds since the timers were last charged, which becomes now. One
// clock for every level, so time a nested loop charged is not charged again.
int32_t elapsed_since_charged() {
    Backend& b = backend();
    const int64_t now = now_ms();
    const int64_t elapsed = b.last_tick < 0 ? 0 : now - b.last_tick;
    b.last_tick = now;
    return static_cast<int32_t>(elapsed < 0 ? 0 : (elapsed > (1 << 30) ? 1 << 30 : elapsed));
}

// One frame: timers, the screen, the input that arrived.
void run_frame() {
    Backend& b = backend();
    const int32_t tick = elapsed_since_charged();
    if (b.terminal.open) update_screen_size();
    b.timers.run(tick, fire_timer);
    flush_screen();
    InputEvents sink;
    b.input.decode(sink, now_ms());
    if (b.click_state == 2 && b.click_hold < click_hold_limit_ms) b.click_hold += tick;
}

// The loop proper: frames until the level ends (or one, without waiting).
bool run_frames(bool no_wait, int saved_depth, int64_t deadline) {
    Backend& b = backend();
    bool got = false;
    int elapsed = 0;
    do {
        // Ctrl-C at the console: every level ends, and the evaluation that
        // runs next takes the request and halts.
        if (interrupt::requested() || stack::exiting()) {
            b.loop_depth = saved_depth;
            break;
        }
        // Without a terminal and without timers nothing can ever happen:
        // the level ends rather than wait for ever.
        if (!no_wait && deadline < 0 && !b.terminal.open && b.timers.size() == 0) {
            if (b.loop_depth > saved_depth) b.loop_depth = saved_depth;
            break;
        }
        try {
            got = poll_input() > 0;
            if (no_wait && !got) break;
            if (!no_wait) {
                int wait = frame_ms - elapsed;
                if (deadline >= 0 && deadline - now_ms() < wait) wait = static_cast<int>(deadline - now_ms());
                wait_input(wait);
            }
            const int64_t stamp = now_ms();
            run_frame();
            elapsed = static_cast<int>(now_ms() - stamp);
        } catch (const error::Raised&) {
            // An error the frame's own work raised ends this level.
            b.loop_depth--;
        }
        if (deadline >= 0 && now_ms() >= deadline) break;
    } while (!no_wait && saved_depth < b.loop_depth);
    return got;
}

}  // namespace

bool do_events(bool no_wait) {
    Backend& b = backend();
    const bool nested = no_wait || b.terminal.open || b.loop_depth > 0;
    const int saved = b.loop_depth;
    if (!no_wait) b.loop_depth++;
    // Input still waiting when a nested level ends stays for the enclosing
    // level's frames.
    if (nested) return run_frames(no_wait, saved, -1);
    TerminalSession session;
    return run_frames(false, saved, -1);
}

void post_quit() { backend().loop_depth--; }

void wait_events() {
    if (backend().terminal.open) (void)do_events(true);
}

bool run_for(double seconds) {
    Backend& b = backend();
    // No view: nothing to run.
    if (!b.terminal.open && b.windows.empty()) return false;
    const double ms = seconds * 1000.0;
    const int64_t length = !(ms > 0) ? 0 : (ms > 2147483647.0 ? 2147483647 : static_cast<int64_t>(ms));
    const int saved = b.loop_depth;
    auto run = [&] {
        b.loop_depth++;
        (void)run_frames(false, saved, now_ms() + length);
        // The wait's own level goes. A quit posted meanwhile (a window
        // closed) is meant for the loop around the wait, which it still
        // ends; a halt unwinds every level anyway.
        if (interrupt::requested() || stack::exiting()) b.loop_depth = saved;
        else b.loop_depth--;
    };
    if (b.terminal.open) {
        run();
        return true;
    }
    // A view shown without a running loop: the wait opens the terminal
    // mode for its length, when there is a terminal.
    if (b.loop_depth > 0) return false;
    TerminalSession session;
    if (!b.terminal.open) return false;
    run();
    return true;
}

void add_timer(Widget* owner, int32_t interval_ms) { backend().timers.add(owner, interval_ms); }

}  // namespace qor::tui
