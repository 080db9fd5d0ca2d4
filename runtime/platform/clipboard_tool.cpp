// The system clipboard through wl-copy/wl-paste or xclip, run as child
// processes with argument vectors (never through a shell).
#include "runtime/platform/clipboard_tool.h"

#include <time.h>
#include <unistd.h>

#include <cstdlib>

#include "runtime/platform/process.h"

namespace qor::platform {

namespace {

constexpr int attempts = 3;

bool on_path(std::string_view program) {
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "/usr/bin:/bin";
    while (!dirs.empty()) {
        const size_t colon = dirs.find(':');
        const std::string_view dir = dirs.substr(0, colon);
        const std::string candidate = std::string(dir.empty() ? "." : dir) + "/" + std::string(program);
        if (access(candidate.c_str(), X_OK) == 0) return true;
        if (colon == std::string_view::npos) break;
        dirs.remove_prefix(colon + 1);
    }
    return false;
}

bool set(const char* variable) {
    const char* v = std::getenv(variable);
    return v && *v;
}

void pause_a_millisecond() {
    const timespec ms{0, 1000 * 1000};
    nanosleep(&ms, nullptr);
}

bool mentions(const std::vector<uint8_t>& text, std::string_view words) {
    return std::string_view(reinterpret_cast<const char*>(text.data()), text.size()).find(words) !=
           std::string_view::npos;
}

// Runs the tool; its output and error are captured when `capture`, else
// they go to the null device (xclip and wl-copy leave a process behind
// that serves the clipboard and would hold a capture pipe open).
RunResult run_tool(std::vector<std::string> argv, std::span<const uint8_t> input, bool feed, bool capture) {
    RunOptions options;
    options.in.kind = feed ? StreamKind::pipe : StreamKind::null;
    options.input = input;
    options.out.kind = capture ? StreamKind::pipe : StreamKind::null;
    options.err.kind = capture ? StreamKind::pipe : StreamKind::null;
    return run_process(argv, options);
}

bool succeeded(const RunResult& r) { return r.status == RunStatus::ok && r.exit_code == 0; }

std::vector<std::string> lines_of(const std::vector<uint8_t>& bytes) {
    std::vector<std::string> lines;
    std::string line;
    for (uint8_t b : bytes) {
        if (b == '\n' || b == '\r') {
            if (!line.empty()) lines.push_back(std::move(line));
            line.clear();
        } else {
            line += static_cast<char>(b);
        }
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

}  // namespace

ClipboardTool clipboard_tool() {
    if (set("WAYLAND_DISPLAY") && on_path("wl-copy") && on_path("wl-paste")) return ClipboardTool::wayland;
    if (set("DISPLAY") && on_path("xclip")) return ClipboardTool::x11;
    return ClipboardTool::none;
}

std::optional<std::vector<std::string>> clipboard_types(ClipboardTool tool) {
    if (tool == ClipboardTool::none) return std::nullopt;
    for (int attempt = 0; attempt < attempts; attempt++) {
        if (attempt > 0) pause_a_millisecond();
        const RunResult r = tool == ClipboardTool::x11
                                ? run_tool({"xclip", "-selection", "clipboard", "-o", "-t", "TARGETS"}, {}, false, true)
                                : run_tool({"wl-paste", "--list-types"}, {}, false, true);
        if (succeeded(r)) return lines_of(r.out);
        if (r.status != RunStatus::ok) continue;
        // The tool ran and found no owner of the clipboard: it is empty.
        const bool unreachable = tool == ClipboardTool::x11 ? mentions(r.err, "Can't open display")
                                                            : mentions(r.err, "Failed to connect");
        if (!unreachable) return std::vector<std::string>{};
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> clipboard_read(ClipboardTool tool, std::string_view type) {
    if (tool == ClipboardTool::none) return std::nullopt;
    const std::string t(type);
    for (int attempt = 0; attempt < attempts; attempt++) {
        if (attempt > 0) pause_a_millisecond();
        RunResult r = tool == ClipboardTool::x11
                          ? run_tool({"xclip", "-selection", "clipboard", "-o", "-t", t}, {}, false, true)
                          : run_tool({"wl-paste", "--no-newline", "--type", t}, {}, false, true);
        if (succeeded(r)) return std::move(r.out);
    }
    return std::nullopt;
}

bool clipboard_write(ClipboardTool tool, std::string_view type, std::span<const uint8_t> bytes) {
    if (tool == ClipboardTool::none) return false;
    std::vector<std::string> argv;
    if (tool == ClipboardTool::x11) {
        argv = {"xclip", "-selection", "clipboard", "-i"};
        // Text goes without a type: xclip then offers it as UTF8_STRING,
        // the type X11 programs ask for.
        if (type.empty()) argv.insert(argv.end(), {"-t", std::string(emptied_type)});
        else if (type != text_type) argv.insert(argv.end(), {"-t", std::string(type)});
    } else if (type.empty()) {
        argv = {"wl-copy", "--clear"};
    } else {
        argv = {"wl-copy", "--type", std::string(type)};
    }
    const bool feed = !(tool == ClipboardTool::wayland && type.empty());
    for (int attempt = 0; attempt < attempts; attempt++) {
        if (attempt > 0) pause_a_millisecond();
        if (succeeded(run_tool(argv, bytes, feed, false))) return true;
    }
    return false;
}

}  // namespace qor::platform
