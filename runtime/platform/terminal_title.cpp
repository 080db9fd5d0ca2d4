// Title through OSC 0 ("ESC ] 0 ; title BEL"); none on a terminal whose
// TERM is "dumb".
#include "runtime/platform/terminal_title.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/platform/standard_streams.h"

namespace qor::platform {

void set_terminal_title(std::string_view title) {
    const char* term = std::getenv("TERM");
    if (!stdout_is_terminal() || (term != nullptr && std::strcmp(term, "dumb") == 0)) return;
    std::string sequence = "\x1B]0;";
    for (char c : title) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) sequence += c;
    }
    sequence += '\a';
    write_stdout(sequence);
}

}  // namespace qor::platform
