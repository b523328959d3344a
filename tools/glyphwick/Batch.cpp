#include "Batch.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <map>

#include "Errors.h"
#include "Progress.h"

namespace gwtool {

namespace {

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

// A worker process: reads the files index, index + jobs, ... and writes one
// JSON line per file into fd.
[[noreturn]] void Worker(const Common& common, const FileReader& read, size_t first, int fd) {
    for (size_t i = first; i < common.files.size(); i += common.jobs) {
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

// Runs the files in common.jobs worker processes (the library is one reader
// per process) and hands every outcome to emit in input order.
void ReadInWorkers(const Common& common, const FileReader& read,
                   const std::function<void(size_t, Outcome)>& emit, Progress& progress) {
    std::cout.flush();
    std::cerr.flush();
    const size_t jobs = std::min<size_t>(common.jobs, common.files.size());
    std::vector<pollfd> fds;
    std::vector<pid_t> pids;
    for (size_t w = 0; w < jobs; ++w) {
        int p[2];
        if (pipe(p) != 0) throw InputError("", "cannot start the worker processes");
        const pid_t pid = fork();
        if (pid < 0) throw InputError("", "cannot start the worker processes");
        if (pid == 0) {
            close(p[0]);
            for (const pollfd& f : fds) close(f.fd);
            Worker(common, read, w, p[1]);
        }
        close(p[1]);
        fds.push_back({p[0], POLLIN, 0});
        pids.push_back(pid);
    }
    std::vector<std::string> partial(jobs);
    std::map<size_t, Outcome> waiting;
    size_t next = 0, done = 0, open = jobs;
    auto flush = [&] {
        for (auto it = waiting.find(next); it != waiting.end(); it = waiting.find(next)) {
            emit(next++, std::move(it->second));
            waiting.erase(it);
        }
    };
    while (open > 0) {
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (size_t w = 0; w < jobs; ++w) {
            if (fds[w].fd < 0 || fds[w].revents == 0) continue;
            char buffer[65536];
            const ssize_t n = ::read(fds[w].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[w].fd);
                fds[w].fd = -1;
                --open;
                continue;
            }
            partial[w].append(buffer, size_t(n));
            for (size_t eol; (eol = partial[w].find('\n')) != std::string::npos;) {
                const Json j = Json::parse(partial[w].substr(0, eol));
                partial[w].erase(0, eol + 1);
                Outcome o{j["entry"], j["text"], j["error"], j["status"]};
                const size_t index = j["index"];
                progress.Step(++done, common.files[index]);
                waiting.emplace(index, std::move(o));
            }
            flush();
        }
    }
    for (pid_t pid : pids) waitpid(pid, nullptr, 0);
    // A worker that stopped early leaves its files without an outcome.
    for (size_t i = next; i < common.files.size(); ++i) {
        if (waiting.count(i)) continue;
        Outcome o;
        o.entry = {{"file", common.files[i]},
                   {"status", int(kBadInput)},
                   {"error", "the worker process reading this file stopped"}};
        o.error =
            "glyphwick: " + common.files[i] + ": the worker process reading this file stopped";
        o.status = kBadInput;
        waiting.emplace(i, std::move(o));
    }
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
