// The commands of the glyphwick tool. Each reading command works file by file:
// an error in one file is reported on its own line and the others are still
// read; the exit status is the worst of the files' statuses.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "BarcodeRead.h"
#include "Image.h"
#include "MrzRead.h"
#include "Reading.h"

namespace gwtool {

/// What every reading command takes.
struct Common {
    std::vector<std::string> files;     ///< "-" stands for standard input
    bool json = false;                  ///< one JSON array at the end
    bool jsonl = false;                 ///< one JSON object a line, file by file
    std::string annotate;               ///< path of the annotated image, empty for none
    std::vector<std::string> patterns;  ///< pattern files instead of the default one
    gw::LoadOptions load;               ///< page and Exif orientation
    bool allPages = false;              ///< --page all: every page of every file
    /// The page of each entry of files when they were made one per page
    /// (WithPages); empty otherwise.
    std::vector<uint32_t> pages;
    unsigned jobs = 1;  ///< worker processes reading the files
    /// Seconds each file may take (--timeout): a reading stops itself then
    /// with what it has, and a --jobs worker silent for longer is killed.
    /// 0: the readers' own budget, and kWorkerSeconds for a worker.
    double timeout = 0;
};

/// What the barcode command takes beside the files.
struct BarcodeSettings {
    gw::BarcodeOptions options;  ///< the library's options, as given on the command line
    std::optional<Box> rect;     ///< read only there; the whole image when absent
    bool oneLine = false;        ///< -1: one line per symbol, "FILE<TAB>SYMBOLOGY<TAB>TEXT"
};

/// common with its files listed once per page (and pages set) when
/// allPages asks for every page; common itself otherwise. A file that does
/// not load keeps one entry, whose error its reading reports.
Common WithPages(const Common& common);

/// The load options of entry index of common (its page, with --page all).
gw::LoadOptions LoadOptionsFor(const Common& common, size_t index);

/// The number of processors, the default of --jobs.
unsigned DefaultJobs();

/// The annotation path for file number index (0-based) of count files: the
/// path itself for one file, else the index inserted before the extension
/// ("out.png" gives "out-1.png", "out-2.png", ...).
std::string AnnotationPath(const std::string& path, size_t index, size_t count);

/// Latin-1 text as UTF-8 (the Code 128 extended characters).
std::string Latin1ToUtf8(const std::string& text);

int RunRead(const Common& common, const gw::LineOptions& options);
int RunBarcode(const Common& common, const BarcodeSettings& settings);
int RunMrz(const Common& common, const MrzSettings& settings);
int RunInfo(const Common& common);

struct ConvertSettings {
    enum class Target { Keep, Grey, OneBit, Colour } target = Target::Keep;
    int rotate = -1;     ///< rotate-flip type 0 to 7, -1 for none
    int threshold = -1;  ///< grey level, -1 for none
    bool invert = false;
    SaveOptions save;
    gw::LoadOptions load;  ///< page and Exif orientation of the input
};
int RunConvert(const std::string& in, const std::string& out, const ConvertSettings& settings);

int RunFonts(bool json, const std::vector<std::string>& patterns);

}  // namespace gwtool
