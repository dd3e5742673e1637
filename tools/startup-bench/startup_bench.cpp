// Times each program from the start of its process until its drawing settles: the last screen damage
// before a quiet spell of 400 ms, as the X DAMAGE extension reports it on the root window. Runs alternate
// between a program and the empty reference window, so the machine's noise falls on both alike; the
// medians, their ratio and the ratios of resident memory (VmRSS once settled) and of processor time are
// printed.
//   halvor-startup-bench [--runs N] --reference EMPTY_WINDOW PROGRAM...
// DISPLAY must name an X server with the DAMAGE extension and nothing else drawing (a private Xvfb).
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kQuiet = std::chrono::milliseconds(400);   // drawing has settled after this long unchanged
constexpr auto kBetween = std::chrono::milliseconds(150); // the screen rests this long between runs
constexpr auto kGiveUp = std::chrono::seconds(20);        // a program that never settles

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

class DamageWatch {
public:
    bool open() {
        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_)) {
            std::fprintf(stderr, "cannot reach the X server named by DISPLAY\n");
            return false;
        }
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection_, &xcb_damage_id);
        if (!extension || !extension->present) {
            std::fprintf(stderr, "the X server has no DAMAGE extension\n");
            return false;
        }
        notifyType_ = extension->first_event + XCB_DAMAGE_NOTIFY;
        std::free(xcb_damage_query_version_reply(
            connection_,
            xcb_damage_query_version(connection_, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION),
            nullptr));
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        // Raw rectangles: every drawing operation is reported, with no subtract requests to send back.
        xcb_damage_create(connection_, xcb_generate_id(connection_), root,
                          XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        xcb_flush(connection_);
        return true;
    }
    ~DamageWatch() {
        if (connection_)
            xcb_disconnect(connection_);
    }

    // Waits for damage until `quiet` passes without any, `limit` is reached or `process` (a pidfd, -1 for
    // none) ends. Returns the time of the last damage seen, if any.
    std::optional<Clock::time_point> settle(Clock::duration quiet, Clock::time_point limit, int process,
                                            bool& ended) {
        std::optional<Clock::time_point> last;
        ended = false;
        for (;;) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
                if ((event->response_type & 0x7f) == notifyType_)
                    last = Clock::now();
                std::free(event);
            }
            const Clock::time_point now = Clock::now();
            if (last && now - *last >= quiet)
                return last;
            if (now >= limit)
                return last;
            const Clock::time_point until = std::min(limit, last ? *last + quiet : limit);
            const int wait = int(std::chrono::ceil<std::chrono::milliseconds>(until - now).count());
            pollfd fds[2] = {{xcb_get_file_descriptor(connection_), POLLIN, 0}, {process, POLLIN, 0}};
            if (poll(fds, process >= 0 ? 2 : 1, std::max(wait, 0)) < 0 && errno != EINTR)
                return last;
            if (process >= 0 && (fds[1].revents & POLLIN)) {
                ended = true;
                process = -1; // what it drew still settles
            }
            if (xcb_connection_has_error(connection_))
                return last;
        }
    }

private:
    xcb_connection_t* connection_ = nullptr;
    uint8_t notifyType_ = 0;
};

struct Sample {
    double ms = 0;
    double rssKb = 0;
    double cpuMs = 0;
};

double residentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr);
    }
    return 0;
}

// Processor time of all the process's threads so far (scheduler figures, in nanoseconds). Unlike the time
// to the first frame, it hardly moves with the machine's other load, so it shows small changes.
double cpuMs(pid_t pid) {
    double ns = 0;
    std::error_code error;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream schedstat(task.path() / "schedstat");
        double runNs = 0;
        if (schedstat >> runNs)
            ns += runNs;
    }
    return ns / 1e6;
}

// One start of `program`, timed; nothing when it cannot start, ends before it settles or never draws.
std::optional<Sample> measure(DamageWatch& watch, const std::string& program) {
    bool ended = false;
    watch.settle(kBetween, Clock::now() + kGiveUp, -1, ended); // the last run's window is gone

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv{const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = 0;
    const Clock::time_point start = Clock::now();
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), std::strerror(failed));
        return std::nullopt;
    }
    const int process = int(syscall(SYS_pidfd_open, pid, 0));
    const auto last = watch.settle(kQuiet, start + kGiveUp, process, ended);
    Sample sample;
    sample.rssKb = ended ? 0 : residentKb(pid);
    sample.cpuMs = ended ? 0 : cpuMs(pid);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    if (process >= 0)
        close(process);
    if (!last || ended) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), ended ? "ended before it settled" : "drew nothing");
        return std::nullopt;
    }
    sample.ms = msBetween(start, *last);
    return sample;
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int main(int argc, char* argv[]) {
    int runs = 7;
    std::string reference;
    std::vector<std::string> programs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--reference" && i + 1 < argc)
            reference = argv[++i];
        else
            programs.push_back(arg);
    }
    if (reference.empty() || programs.empty()) {
        std::fprintf(stderr, "usage: %s [--runs N] --reference EMPTY_WINDOW PROGRAM...\n", argv[0]);
        return 2;
    }
    DamageWatch watch;
    if (!watch.open())
        return 1;

    std::printf("%-12s %9s %9s %6s %9s %9s %6s %9s %9s %6s\n", "program", "ms", "empty ms", "ratio", "RSS MB",
                "empty MB", "ratio", "CPU ms", "empty CPU", "ratio");
    bool allMeasured = true;
    for (const std::string& program : programs) {
        // One untimed pair first, so both start from warm file caches.
        measure(watch, reference);
        measure(watch, program);
        std::vector<double> ms, rss, cpu, emptyMs, emptyRss, emptyCpu;
        for (int run = 0; run < runs; ++run) {
            for (const bool isReference : {true, false}) {
                const auto sample = measure(watch, isReference ? reference : program);
                if (!sample)
                    continue;
                (isReference ? emptyMs : ms).push_back(sample->ms);
                (isReference ? emptyRss : rss).push_back(sample->rssKb);
                (isReference ? emptyCpu : cpu).push_back(sample->cpuMs);
            }
        }
        if (ms.empty() || emptyMs.empty()) {
            std::printf("%-12s not measured\n", baseName(program).c_str());
            allMeasured = false;
            continue;
        }
        const double t = median(ms), t0 = median(emptyMs), m = median(rss), m0 = median(emptyRss);
        const double c = median(cpu), c0 = median(emptyCpu);
        std::printf("%-12s %9.1f %9.1f %6.2f %9.1f %9.1f %6.2f %9.1f %9.1f %6.2f\n",
                    baseName(program).c_str(), t, t0, t / t0, m / 1024, m0 / 1024, m / m0, c, c0, c / c0);
        std::fflush(stdout);
    }
    return allMeasured ? 0 : 1;
}
