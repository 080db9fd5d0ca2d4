// The terminal view's brackets around console output: before text is
// printed, a view drawn inline below the console text is erased; after it,
// the view is redrawn. While no view is on the terminal both do nothing.
#pragma once

namespace qor::tui {

void before_print();
void after_print();

}  // namespace qor::tui
