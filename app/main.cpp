// The `qor` executable.
#include "app/startup.h"

int main(int argc, char** argv) {
    qor::rt::start_up(argc, argv);
}
