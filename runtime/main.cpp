// The `qor` executable.
#include "runtime/startup.h"

int main(int argc, char** argv) {
    qor::rt::start_up(argc, argv);
}
