// Running a reading command over many files: each file's result or error,
// the output in plain text, a JSON array or JSON Lines in input order, the
// progress bar, and --jobs worker processes (the library reads one image at
// a time per process, so batches are read in parallel by processes).
#pragma once

#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "Commands.h"
#include "Errors.h"

namespace gwtool {

using Json = nlohmann::ordered_json;

/// What one file gave: its JSON object, its plain text and its status, and
/// the failure of its annotation, which leaves the reading standing.
struct FileResult {
    Json json = Json::object();
    std::string text;
    int status = kNothingRead;
    std::string annotationError;
};

/// Reads one file (its name and its index among the files). Throws
/// InputError for a failure of that file alone.
using FileReader = std::function<FileResult(const std::string&, size_t)>;

/// Runs read over common.files, in common.jobs worker processes when there
/// are several files and none is standard input; prints every file's result
/// in input order and its error on the standard error stream. Returns the
/// worst status.
int ForEachFile(const Common& common, const FileReader& read);

/// Prints j indented, invalid UTF-8 replaced.
void WriteJson(const Json& j);

}  // namespace gwtool
