// Running a command for `call`: argument splitting, the streams of the
// child, the shell fallback and the answer.
#include "runtime/host/process_call.h"

#include <optional>

#include "runtime/output/output.h"
#include "runtime/platform/terminal_mode.h"

namespace qor::host {

namespace {

constexpr const char* shell_path = "/bin/sh";

// A text quoted for the shell: in single quotes, each single quote written
// as '\''.
std::string shell_quoted(std::string_view text) {
    std::string q = "'";
    for (char c : text) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    q += '\'';
    return q;
}

platform::StreamSpec stream_spec(const CallStream& s, bool console) {
    switch (s.kind) {
        case CallStream::Kind::file: return {platform::StreamKind::file, s.path};
        case CallStream::Kind::data: return {platform::StreamKind::pipe, {}};
        case CallStream::Kind::none: break;
    }
    return {console ? platform::StreamKind::inherit : platform::StreamKind::null, {}};
}

}  // namespace

std::vector<std::string> split_command(std::string_view command) {
    std::vector<std::string> args;
    std::string current;
    bool in_argument = false;  // a quote alone makes an (empty) argument
    bool quoted = false;
    for (char c : command) {
        if (c == '"') {
            quoted = !quoted;
            in_argument = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (in_argument) args.push_back(std::move(current));
            current.clear();
            in_argument = false;
        } else {
            current += c;
            in_argument = true;
        }
    }
    if (in_argument) args.push_back(std::move(current));
    return args;
}

CallResult run_call(std::string_view command, const CallOptions& options) {
    const bool redirected = options.in.kind != CallStream::Kind::none || options.out.kind != CallStream::Kind::none ||
                            options.err.kind != CallStream::Kind::none;
    platform::RunOptions run;
    run.in = stream_spec(options.in, options.console);
    run.out = stream_spec(options.out, options.console);
    run.err = stream_spec(options.err, options.console);
    run.input = options.in.input;
    run.wait = options.wait || options.console || redirected;
    run.foreground = options.console;

    const std::string as_shell_command = options.program_file ? shell_quoted(command) : std::string(command);
    std::vector<std::string> argv;
    if (options.shell) argv = {shell_path, "-c", as_shell_command};
    else if (options.program_file) argv = {std::string(command)};
    else argv = split_command(command);

    CallResult result;
    if (argv.empty()) return result;
    // The child writes to the same terminal or pipe: what the console holds
    // goes out first, and the terminal is handed over in its normal mode.
    if (options.console) output::flush();
    std::optional<platform::NormalMode> normal_terminal;
    if (options.console) normal_terminal.emplace();

    platform::RunResult r = platform::run_process(argv, run);
    if (r.status == platform::RunStatus::not_found && !options.shell) {
        const std::string shell_argv[] = {shell_path, "-c", as_shell_command};
        r = platform::run_process(shell_argv, run);
    }
    result.out = std::move(r.out);
    result.err = std::move(r.err);
    if (r.status == platform::RunStatus::ok) result.answer = run.wait ? r.exit_code : static_cast<int32_t>(r.pid);
    return result;
}

}  // namespace qor::host
