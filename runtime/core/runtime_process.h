// The process-wide services every layer may call: the runtime record and
// the end of the process with its runtime-error report.
// The application defines them (app/startup.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qor::rt {

// The process-wide record.
struct RuntimeRecord {
    std::vector<std::string> args;   // the argument vector, UTF-8
    uint32_t throw_value = 0;        // code of the throw in progress, 0 when none
    const uint8_t* boot_image = nullptr;
    size_t boot_image_size = 0;
};

[[nodiscard]] RuntimeRecord& record();

// Reports a fatal fault (the runtime-error report of the number, at the
// address) and ends the process at once; safe inside a signal handler.
[[noreturn]] void fatal_report_and_exit(int number, uint32_t address) noexcept;

// Ends the process. Status 0 exits quietly; any other status first prints
// the runtime-error report for that number with the given address.
[[noreturn]] void quit(int status, uint32_t address = 0);

// The message of a runtime-error number ("unknown error code!" for numbers
// outside the table).
[[nodiscard]] std::string_view runtime_error_message(int number);

// The report `quit` prints: "\n*** Runtime Error N: message\n*** at: XXXXXXXXh\n".
[[nodiscard]] std::string runtime_error_report(int number, uint32_t address);

// The handler of the outermost catch level: the quit marker ends quietly,
// any other code reports 95 ("no CATCH for THROW").
[[noreturn]] void on_uncaught_throw(uint32_t code);

// An address as the report shows it: code addresses inside the executable
// are taken relative to its load address (so they fit eight hex digits and
// stay the same from run to run); others keep their low 32 bits.
[[nodiscard]] uint32_t report_address(const void* address) noexcept;

}  // namespace qor::rt
