// The environment library: the part of the system written in the language
// itself, embedded in the executable and run once at start-up, after the
// runtime boot and before the console.
//
// Before its first line runs, `define_builtins` gives the global context
// what the library stands on: a word for every datatype, every native and
// every action with its interface block. Then each source runs in start-up order in the
// global context, so later sources use what earlier ones define.
#pragma once

#include <optional>
#include <string>

namespace qor::environment {

// Sets every datatype word to its datatype and every native and action word
// to its value.
void define_builtins();

// Why a source failed: its name and the error ("script/no-value").
struct Failure {
    std::string source;
    std::string error;
};

// Defines the built-in words and runs every source; answers the first
// failure, after which nothing further runs.
[[nodiscard]] std::optional<Failure> try_run();

// `try_run`, ending the process with a report when a source fails: the
// library is part of the executable, so a failure is a build fault.
void run();

}  // namespace qor::environment
