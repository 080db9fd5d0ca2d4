// Print brackets of the terminal view. No view can be drawn yet, so there is
// nothing to erase or redraw.
#include "view/terminal/print_brackets.h"

namespace qor::tui {

void before_print() {}
void after_print() {}

}  // namespace qor::tui
