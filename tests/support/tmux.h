// A tmux server of the test's own, for driving programs in a real
// terminal: send keys, read the pane's text and the terminal's modes.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>

namespace qor::test::tmux {

inline std::string run(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, p)) > 0) out.append(chunk, n);
    pclose(p);
    return out;
}

inline bool have_tmux() { return system("command -v tmux > /dev/null 2>&1") == 0; }

// Quotes for /bin/sh.
inline std::string sh_quoted(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline int count(const std::string& haystack, const std::string& needle) {
    int n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}

// A tmux server of our own (its own socket), ended with the test.
class Tmux {
public:
    Tmux() : socket_("qor-console-test-" + std::to_string(getpid()) + "-" + std::to_string(++made_)) {}
    ~Tmux() { run(tmux() + " kill-server 2>/dev/null"); }

    void start(const std::string& shell_command, int columns = 60, int rows = 20) {
        run(tmux() + " -f /dev/null new-session -d -x " + std::to_string(columns) + " -y " + std::to_string(rows) +
            " " + sh_quoted(shell_command));
    }
    void resize(int columns) { run(tmux() + " resize-window -x " + std::to_string(columns) + " -y 20"); }
    void keys(const std::string& names) { run(tmux() + " send-keys " + names); }
    void text(const std::string& literal) { run(tmux() + " send-keys -l " + sh_quoted(literal)); }
    std::string screen() { return run(tmux() + " capture-pane -p"); }
    // A pane variable, as "#{pane_tty}".
    std::string format(const std::string& f) {
        std::string t = run(tmux() + " display-message -p " + sh_quoted(f));
        while (!t.empty() && (t.back() == '\n' || t.back() == ' ')) t.pop_back();
        return t;
    }
    std::string tty() { return format("#{pane_tty}"); }
    // Local modes of the pane's terminal, as stty shows them.
    std::string modes() { return run("stty -a -F " + sh_quoted(tty()) + " 2>&1"); }

    // Waits (up to 5 s) until the pane shows `text` (trailing spaces of a
    // row are not shown).
    bool wait_for(const std::string& text, int times = 1) {
#ifdef QOR_GC_STRESS
        // A collection at every allocation makes the boot alone take seconds.
        constexpr auto patience = std::chrono::seconds(60);
#else
        constexpr auto patience = std::chrono::seconds(5);
#endif
        auto deadline = std::chrono::steady_clock::now() + patience;
        while (std::chrono::steady_clock::now() < deadline) {
            if (count(screen(), text) >= times) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

private:
    std::string tmux() const { return "tmux -L " + socket_; }
    std::string socket_;
    static inline int made_ = 0;
};

inline bool has_mode(const std::string& modes, const std::string& name) {
    std::istringstream words(modes);
    std::string w;
    while (words >> w) {
        if (!w.empty() && w.back() == ';') w.pop_back();
        if (w == name) return true;
    }
    return false;
}

}  // namespace qor::test::tmux
