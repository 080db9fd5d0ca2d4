// Title through OSC 0 ("ESC ] 0 ; title BEL").
#include "runtime/platform/terminal_title.h"

#include <string>

#include "runtime/platform/standard_streams.h"

namespace qor::platform {

void set_terminal_title(std::string_view title) {
    if (!stdout_is_terminal()) return;
    std::string sequence = "\x1B]0;";
    for (char c : title) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) sequence += c;
    }
    sequence += '\a';
    write_stdout(sequence);
}

}  // namespace qor::platform
