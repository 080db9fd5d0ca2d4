// Child processes on posix_spawn, pipes and poll.
#include "runtime/platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <optional>

#include "runtime/platform/file_handle.h"

extern char** environ;

namespace qor::platform {

namespace {

// The most bytes one write to the child's input pipe carries, so the loop
// turns back to the output pipes between chunks.
constexpr size_t input_chunk = 64 * 1024;
constexpr size_t read_chunk = 64 * 1024;

// A pipe whose two ends close with it unless released. Both ends are
// close-on-exec: the child receives its end through the spawn's dup2.
struct Pipe {
    File read_end, write_end;
    [[nodiscard]] bool open() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return false;
        read_end = File(fds[0]);
        write_end = File(fds[1]);
        return true;
    }
};

bool set_nonblocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Children started without waiting whose reaper thread could not be made:
// reaped, when they have ended, at the next run.
std::vector<pid_t> unreaped;

void reap_ended() {
    std::erase_if(unreaped, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) != 0; });
}

void* reaper(void* arg) {
    const pid_t pid = static_cast<pid_t>(reinterpret_cast<intptr_t>(arg));
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    return nullptr;
}

// Reaps a child nobody waits for: a small detached thread blocks in waitpid
// until the child ends, so no zombie is left behind. The thread blocks every
// signal, so the process's handlers keep running on the main thread.
void reap_later(pid_t pid) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) {
        unreaped.push_back(pid);
        return;
    }
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attr, std::max<size_t>(PTHREAD_STACK_MIN, 128 * 1024));
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    pthread_t thread;
    const int made = pthread_create(&thread, &attr, reaper, reinterpret_cast<void*>(static_cast<intptr_t>(pid)));
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    pthread_attr_destroy(&attr);
    if (made != 0) unreaped.push_back(pid);
}

int wait_exit_code(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// SIGPIPE blocked on this thread for as long as the object lives. A SIGPIPE
// raised meanwhile by a write to a closed pipe is taken off the pending set
// before the old mask comes back, unless one was pending already.
class SigpipeBlock {
public:
    SigpipeBlock() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        was_pending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    }
    ~SigpipeBlock() {
        if (!was_pending_) {
            const timespec zero{0, 0};
            while (sigtimedwait(&pipe_, nullptr, &zero) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SigpipeBlock(const SigpipeBlock&) = delete;
    SigpipeBlock& operator=(const SigpipeBlock&) = delete;

private:
    sigset_t pipe_, old_;
    bool was_pending_ = false;
};

// Interrupt and quit ignored by the parent for as long as the object
// lives, while a child that has the terminal takes them.
class IgnoreInterrupts {
public:
    IgnoreInterrupts() {
        struct sigaction ignore{};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGINT, &ignore, &old_int_);
        sigaction(SIGQUIT, &ignore, &old_quit_);
    }
    ~IgnoreInterrupts() {
        sigaction(SIGINT, &old_int_, nullptr);
        sigaction(SIGQUIT, &old_quit_, nullptr);
    }
    IgnoreInterrupts(const IgnoreInterrupts&) = delete;
    IgnoreInterrupts& operator=(const IgnoreInterrupts&) = delete;

private:
    struct sigaction old_int_{}, old_quit_{};
};

// The spawn's file actions and attributes, released with the object.
class SpawnSetup {
public:
    SpawnSetup() {
        actions_ok_ = posix_spawn_file_actions_init(&actions_) == 0;
        attr_ok_ = posix_spawnattr_init(&attr_) == 0;
    }
    ~SpawnSetup() {
        if (actions_ok_) posix_spawn_file_actions_destroy(&actions_);
        if (attr_ok_) posix_spawnattr_destroy(&attr_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    [[nodiscard]] bool ok() const { return actions_ok_ && attr_ok_ && ok_; }
    void dup_to(int fd, int target) { ok_ = ok_ && posix_spawn_file_actions_adddup2(&actions_, fd, target) == 0; }
    void null_to(int target) {
        const int mode = target == 0 ? O_RDONLY : O_WRONLY;
        ok_ = ok_ && posix_spawn_file_actions_addopen(&actions_, target, "/dev/null", mode, 0) == 0;
    }
    // The child keeps only its three standard streams and starts with every
    // signal at its default and none blocked.
    void finish() {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
        ok_ = ok_ && posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0;
#endif
        sigset_t all, none;
        sigfillset(&all);
        sigemptyset(&none);
        ok_ = ok_ && posix_spawnattr_setsigdefault(&attr_, &all) == 0;
        ok_ = ok_ && posix_spawnattr_setsigmask(&attr_, &none) == 0;
        ok_ = ok_ && posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) == 0;
    }
    [[nodiscard]] int spawn(pid_t* pid, const char* path, char* const argv[], bool search) {
        return search ? posix_spawnp(pid, path, &actions_, &attr_, argv, environ)
                      : posix_spawn(pid, path, &actions_, &attr_, argv, environ);
    }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attr_;
    bool actions_ok_ = false, attr_ok_ = false, ok_ = true;
};

// The parent's side of the pipes while the child runs.
struct Pump {
    File input;   // write end of the child's input, or invalid
    File output;  // read end of the child's output, or invalid
    File error;   // read end of the child's error, or invalid
    std::span<const uint8_t> data;
    size_t written = 0;
    bool broken = false;
};

// Writes the next chunk of input; closes the pipe when all is written or
// the child can read no more.
void feed(Pump& p) {
    const size_t n = std::min(input_chunk, p.data.size() - p.written);
    const ssize_t w = n == 0 ? 0 : ::write(p.input.fd(), p.data.data() + p.written, n);
    if (w > 0) p.written += static_cast<size_t>(w);
    if (w < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (w < 0) p.broken = true;  // EPIPE: the child ended or closed its input; any other error ends it too
    if (w < 0 || p.written == p.data.size()) p.input = File();
}

// Reads what the pipe holds into the sink; closes it at its end or on a
// read error other than an interruption.
void drain(File& pipe, std::vector<uint8_t>& sink) {
    uint8_t chunk[read_chunk];
    for (;;) {
        const ssize_t n = ::read(pipe.fd(), chunk, sizeof chunk);
        if (n > 0) {
            sink.insert(sink.end(), chunk, chunk + n);
            if (static_cast<size_t>(n) < sizeof chunk) return;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        pipe = File();
        return;
    }
}

// Moves data through every open pipe until all are closed.
void pump(Pump& p, RunResult& result) {
    if (p.input.valid() && p.data.empty()) p.input = File();
    for (File* f : {&p.input, &p.output, &p.error})
        if (f->valid()) set_nonblocking(f->fd());
    while (p.input.valid() || p.output.valid() || p.error.valid()) {
        pollfd fds[3];
        File* owners[3];
        nfds_t count = 0;
        if (p.input.valid()) {
            fds[count] = {p.input.fd(), POLLOUT, 0};
            owners[count++] = &p.input;
        }
        if (p.output.valid()) {
            fds[count] = {p.output.fd(), POLLIN, 0};
            owners[count++] = &p.output;
        }
        if (p.error.valid()) {
            fds[count] = {p.error.fd(), POLLIN, 0};
            owners[count++] = &p.error;
        }
        if (poll(fds, count, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (nfds_t i = 0; i < count; i++) {
            if (fds[i].revents == 0) continue;
            if (owners[i] == &p.input) feed(p);
            else drain(*owners[i], owners[i] == &p.output ? result.out : result.err);
        }
    }
}

// Opens an output file for appending; invalid when it cannot be opened.
File open_for_append(const std::string& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    return File(fd);
}

// Sets up one output stream of the child (1 or 2); the parent's read end of
// a capture pipe goes to `parent_end`. False when a pipe cannot be made.
bool output_stream(const StreamSpec& spec, int target, SpawnSetup& setup, File& child_end, File& parent_end) {
    switch (spec.kind) {
        case StreamKind::inherit: return true;
        case StreamKind::null: setup.null_to(target); return true;
        case StreamKind::file:
            child_end = open_for_append(spec.path);
            if (child_end.valid()) setup.dup_to(child_end.fd(), target);
            else setup.null_to(target);
            return true;
        case StreamKind::pipe: {
            Pipe pipe;
            if (!pipe.open()) return false;
            child_end = std::move(pipe.write_end);
            parent_end = std::move(pipe.read_end);
            setup.dup_to(child_end.fd(), target);
            return true;
        }
    }
    return false;
}

}  // namespace

RunResult run_process(std::span<const std::string> argv, const RunOptions& options) {
    RunResult result;
    reap_ended();
    if (argv.empty()) return result;
    SpawnSetup setup;
    Pump pump_state;
    File child_in, child_out, child_err;

    switch (options.in.kind) {
        case StreamKind::inherit: break;
        case StreamKind::null: setup.null_to(0); break;
        case StreamKind::file:
            child_in = File::open(options.in.path, open_flag::read);
            if (!child_in.valid()) return result;
            setup.dup_to(child_in.fd(), 0);
            break;
        case StreamKind::pipe: {
            Pipe pipe;
            if (!pipe.open()) return result;
            child_in = std::move(pipe.read_end);
            pump_state.input = std::move(pipe.write_end);
            pump_state.data = options.input;
            setup.dup_to(child_in.fd(), 0);
            break;
        }
    }
    if (!output_stream(options.out, 1, setup, child_out, pump_state.output)) return result;
    if (!output_stream(options.err, 2, setup, child_err, pump_state.error)) return result;
    setup.finish();
    if (!setup.ok()) return result;

    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    const SigpipeBlock no_sigpipe;
    std::optional<IgnoreInterrupts> for_child;
    if (options.foreground) for_child.emplace();
    const int failed = setup.spawn(&result.pid, args[0], args.data(), options.search_path);
    // The child holds its ends now (or never will): the parent lets go of them.
    child_in = File();
    child_out = File();
    child_err = File();
    if (failed != 0) {
        result.pid = 0;
        result.status = failed == ENOENT ? RunStatus::not_found : RunStatus::cannot_start;
        return result;
    }
    pump(pump_state, result);
    result.status = pump_state.broken ? RunStatus::broken_input : RunStatus::ok;
    if (options.wait) result.exit_code = wait_exit_code(result.pid);
    else reap_later(result.pid);
    return result;
}

}  // namespace qor::platform
