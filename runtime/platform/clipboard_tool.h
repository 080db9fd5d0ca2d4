// The system clipboard through the desktop's command-line tools: wl-copy
// and wl-paste under Wayland, xclip under X11. Each exchange runs the tool
// once with an argument vector, the data going through a pipe.
//
// A tool that fails is run again, at most three attempts with 1 ms between
// them, as another program may hold the clipboard for a moment.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qor::platform {

enum class ClipboardTool : uint8_t {
    none,     // no display, or no tool installed: the caller keeps its own store
    wayland,  // wl-copy and wl-paste
    x11,      // xclip
};

// The tool for the session: Wayland when WAYLAND_DISPLAY is set and
// wl-copy and wl-paste are on the PATH, else X11 when DISPLAY is set and
// xclip is on the PATH, else none.
[[nodiscard]] ClipboardTool clipboard_tool();

// The type of text, in UTF-8.
inline constexpr std::string_view text_type = "text/plain;charset=utf-8";

// The type a clipboard holds when it was emptied (X11 has no empty
// clipboard: its owner offers only this type, which no reader takes).
inline constexpr std::string_view emptied_type = "application/x-qor-empty";

// The types the clipboard offers (MIME types, and X11 target names such as
// UTF8_STRING); empty when the clipboard holds nothing; nothing when the
// clipboard cannot be reached.
[[nodiscard]] std::optional<std::vector<std::string>> clipboard_types(ClipboardTool tool);

// The clipboard's content in one type; nothing when it cannot be had.
[[nodiscard]] std::optional<std::vector<uint8_t>> clipboard_read(ClipboardTool tool, std::string_view type);

// Puts the bytes on the clipboard as the one type (text as UTF-8 when the
// type is text); with no type, empties it. True when the tool succeeded.
[[nodiscard]] bool clipboard_write(ClipboardTool tool, std::string_view type, std::span<const uint8_t> bytes);

}  // namespace qor::platform
