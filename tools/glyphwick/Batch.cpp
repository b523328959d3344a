#include "Batch.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <iostream>
#include <map>

#include "Errors.h"
#include "Progress.h"

namespace gwtool {

namespace {

// Seconds a worker may stay silent over one file when --timeout is not
// given: far beyond any real page (readers stop themselves within their own
// budget of 2 s plus 0.25 s per megapixel), short enough that a stuck or
// stopped worker does not hold a batch for long.
constexpr double kWorkerSeconds = 60;


// A file's result as it is printed: the entry of the JSON output, the plain
// text and the error line for the standard error stream.
struct Outcome {
    Json entry = Json::object();
    std::string text;
    std::string error;
    int status = kRead;  // the file's status, raised by a failed annotation
};

// Reads one file, turning its failures into an error line.
Outcome ReadOne(const std::string& file, size_t index, const FileReader& read) {
    FileResult r;
    Outcome o;
    try {
        r = read(file, index);
    } catch (const InputError& e) {
        const std::string where = e.File().empty() ? file : e.File();
        o.error = "glyphwick: " + where + ": " + e.what();
        r = FileResult{};
        r.json["error"] = e.what();
        r.status = kBadInput;
    } catch (const std::bad_alloc&) {
        o.error = "glyphwick: " + file + ": out of memory";
        r = FileResult{};
        r.json["error"] = "out of memory";
        r.status = kBadInput;
    }
    if (!r.annotationError.empty()) {
        r.json["annotation_error"] = r.annotationError;
        o.error = "glyphwick: " + r.annotationError;
        o.status = kBadInput;
    }
    o.entry["file"] = file;
    o.entry["status"] = r.status;
    for (auto& [k, v] : r.json.items()) o.entry[k] = v;
    o.text = std::move(r.text);
    o.status = std::max(o.status, r.status);
    return o;
}

Json OutcomeJson(size_t index, const Outcome& o) {
    return {{"index", index},
            {"entry", o.entry},
            {"text", o.text},
            {"error", o.error},
            {"status", o.status}};
}

// A worker process: reads the files first, first + step, ... and writes one
// JSON line per file into fd.
[[noreturn]] void Worker(const Common& common, const FileReader& read, size_t first, size_t step,
                         int fd) {
    for (size_t i = first; i < common.files.size(); i += step) {
        const std::string line = OutcomeJson(i, ReadOne(common.files[i], i, read))
                                     .dump(-1, ' ', false, Json::error_handler_t::replace) +
                                 "\n";
        for (size_t done = 0; done < line.size();) {
            const ssize_t n = write(fd, line.data() + done, line.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) _exit(3);
            done += size_t(n);
        }
    }
    close(fd);
    _exit(0);
}

Outcome Unread(const std::string& file, int status, const std::string& reason) {
    Outcome o;
    o.entry = {{"file", file}, {"status", status}, {"error", reason}};
    o.error = "glyphwick: " + file + ": " + reason;
    o.status = status;
    return o;
}

using Clock = std::chrono::steady_clock;

// One worker process and the file it reads now.
struct Slot {
    pid_t pid = -1;
    int fd = -1;                // the read end of its pipe; -1 once closed
    size_t next = 0;            // the file it reads now (or would read next)
    std::string partial;        // a line not yet ended
    Clock::time_point since{};  // when it started on next
};

// Runs the files in common.jobs worker processes (the library's process
// state makes one reading per process the safe unit) and hands every outcome
// to emit in input order. Worker w reads files w, w + jobs, ... Each file has
// common.timeout seconds: a worker silent for longer (stuck, or stopped by a
// signal) is killed, the file it was on is reported as timed out, and a new
// worker goes on with its remaining files. A worker that dies leaves its
// remaining files reported with the reason.
void ReadInWorkers(const Common& common, const FileReader& read,
                   const std::function<void(size_t, Outcome)>& emit, Progress& progress) {
    std::cout.flush();
    std::cerr.flush();
    const size_t jobs = std::min<size_t>(common.jobs, common.files.size());
    const double seconds = common.timeout > 0 ? common.timeout : kWorkerSeconds;
    const auto limit =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    std::vector<Slot> slots(jobs);
    auto start = [&](size_t w, size_t first) {
        Slot& s = slots[w];
        s = Slot{};
        s.next = first;
        if (first >= common.files.size()) return;
        int p[2];
        if (pipe(p) != 0) throw InputError("", "cannot start the worker processes");
        const pid_t pid = fork();
        if (pid < 0) throw InputError("", "cannot start the worker processes");
        if (pid == 0) {
            close(p[0]);
            for (const Slot& other : slots)
                if (other.fd >= 0) close(other.fd);
            Worker(common, read, first, jobs, p[1]);
        }
        close(p[1]);
        s.pid = pid;
        s.fd = p[0];
        s.since = Clock::now();
    };
    for (size_t w = 0; w < jobs; ++w) start(w, w);
    std::map<size_t, Outcome> waiting;
    size_t next = 0, done = 0;
    auto flush = [&] {
        for (auto it = waiting.find(next); it != waiting.end(); it = waiting.find(next)) {
            emit(next++, std::move(it->second));
            waiting.erase(it);
        }
    };
    auto finished = [&](size_t index, Outcome o) {
        progress.Step(++done, common.files[index]);
        waiting.emplace(index, std::move(o));
    };
    // Ends worker w: its pipe closed, the process reaped.
    auto end = [&](size_t w, bool kill) {
        Slot& s = slots[w];
        close(s.fd);
        s.fd = -1;
        if (kill) ::kill(s.pid, SIGKILL);
        waitpid(s.pid, nullptr, 0);
        s.pid = -1;
    };
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<size_t> of;
        Clock::time_point soonest = Clock::time_point::max();
        for (size_t w = 0; w < jobs; ++w) {
            if (slots[w].fd < 0) continue;
            fds.push_back({slots[w].fd, POLLIN, 0});
            of.push_back(w);
            soonest = std::min(soonest, slots[w].since + limit);
        }
        if (fds.empty()) break;
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(soonest - Clock::now());
        const int ms = int(std::clamp<int64_t>(wait.count(), 0, 60'000));
        if (poll(fds.data(), fds.size(), ms) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (size_t k = 0; k < fds.size(); ++k) {
            const size_t w = of[k];
            Slot& s = slots[w];
            if (fds[k].revents != 0) {
                char buffer[65536];
                const ssize_t n = ::read(s.fd, buffer, sizeof buffer);
                if (n <= 0) {
                    // Ended: its files not reported yet are reported as unread.
                    end(w, false);
                    for (size_t i = s.next; i < common.files.size(); i += jobs)
                        finished(i, Unread(common.files[i], kBadInput,
                                           "the worker process reading this file stopped"));
                    continue;
                }
                s.partial.append(buffer, size_t(n));
                for (size_t eol; (eol = s.partial.find('\n')) != std::string::npos;) {
                    const Json j = Json::parse(s.partial.substr(0, eol));
                    s.partial.erase(0, eol + 1);
                    const size_t index = j["index"];
                    finished(index, Outcome{j["entry"], j["text"], j["error"], j["status"]});
                    s.next = index + jobs;
                    s.since = Clock::now();
                }
                if (s.next >= common.files.size()) end(w, false);
            } else if (Clock::now() >= s.since + limit) {
                // Silent past the file's deadline: stuck or stopped.
                const size_t stuck = s.next;
                end(w, true);
                finished(stuck, Unread(common.files[stuck], kTimedOut,
                                       Cat("not read within ", seconds,
                                           " s; the worker process reading it was killed")));
                start(w, stuck + jobs);
            }
        }
        flush();
    }
    for (Slot& s : slots)
        if (s.pid > 0) waitpid(s.pid, nullptr, 0);
    flush();
}

}  // namespace

void WriteJson(const Json& j) {
    std::cout << j.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
}

// Runs one command over every file: the progress bar, the errors of single
// files, the plain, JSON or JSON Lines output and the exit status.
int ForEachFile(const Common& common, const FileReader& read) {
    Progress progress(common.files.size(), Progress::Wanted(common.files.size()));
    Json all = Json::array();
    int status = kRead;
    const bool many = common.files.size() > 1;
    auto emit = [&](size_t i, Outcome o) {
        progress.Clear();
        status = std::max(status, o.status);
        if (common.jsonl) {
            std::cout << o.entry.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
        } else if (common.json) {
            all.push_back(std::move(o.entry));
        } else if (!o.text.empty()) {
            if (many) std::cout << "== " << common.files[i] << "\n";
            std::cout << o.text;
        }
        std::cout.flush();
        if (!o.error.empty()) std::cerr << o.error << "\n";
    };
    const bool stdinUsed =
        std::find(common.files.begin(), common.files.end(), "-") != common.files.end();
    if (common.jobs > 1 && many && !stdinUsed) {
        ReadInWorkers(common, read, emit, progress);
    } else {
        for (size_t i = 0; i < common.files.size(); ++i) {
            progress.Step(i + 1, common.files[i]);
            emit(i, ReadOne(common.files[i], i, read));
        }
    }
    progress.Clear();
    if (common.json && !common.jsonl) WriteJson(all);
    return status;
}

}  // namespace gwtool
