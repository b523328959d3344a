// glyphwick: reads text lines, machine-readable zones and barcodes from
// document images with the Glyphwick library, and shows, converts and lists
// what the library works with.
#include <clocale>
#include <climits>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "Commands.h"
#include "Errors.h"
#include "Glyphwick.h"

using namespace gwtool;

namespace {

// A subcommand's parsed options are turned into a run by its runner.
using Runner = std::function<int()>;
struct Subcommand {
    CLI::App* app;
    Runner run;
};

// A whole number of at least minimum, with a message in words.
CLI::Validator AtLeast(long minimum) {
    return CLI::Validator(
        [minimum](std::string& text) -> std::string {
            char* end = nullptr;
            errno = 0;
            const long v = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || errno == ERANGE || v > INT_MAX)
                return "'" + text + "' is not a whole number";
            if (v < minimum) return Cat("must be ", minimum, " or more, not ", text);
            return {};
        },
        Cat("N>=", minimum));
}

// Options shared by the commands that take image files.
void AddFiles(CLI::App* cmd, Common& common, bool annotate, bool patterns) {
    cmd->add_option("IMAGE", common.files,
                    "image files (BMP, JPEG, GIF, TIFF, PNG, JPEG 2000, WSQ); - reads "
                    "standard input")
        ->required();
    auto* json = cmd->add_flag("--json", common.json, "print a JSON array, one object per file");
    cmd->add_flag("--jsonl", common.jsonl,
                  "print JSON Lines: one object per file as soon as it is read, in input order")
        ->excludes(json);
    cmd->add_option_function<std::string>(
           "--page",
           [&common](const std::string& page) {
               if (page == "all") {
                   common.allPages = true;
                   return;
               }
               char* end = nullptr;
               const unsigned long v = std::strtoul(page.c_str(), &end, 10);
               if (page.empty() || *end != '\0' || v < 1 || v > UINT32_MAX)
                   throw CLI::ValidationError("--page",
                                              "'" + page + "' is not a page (1, 2, ... or all)");
               common.load.page = uint32_t(v);
           },
           "page of a multi-page TIFF file, from 1, or all (default 1)")
        ->type_name("N|all");
    cmd->add_flag_function(
        "--keep-orientation", [&common](int64_t) { common.load.applyExifOrientation = false; },
        "keep the stored pixels; do not turn camera pictures upright by their Exif tag");
    common.jobs = DefaultJobs();
    cmd->add_option("--jobs", common.jobs,
                    "worker processes reading the files (default: the number of processors)")
        ->check(AtLeast(1));
    cmd->add_option("--timeout", common.timeout,
                    "seconds each file may take: its reading stops then with what it has, and "
                    "with --jobs a worker silent for longer is killed and the file reported "
                    "(default: 2 s plus 0.25 s per megapixel for a reading, 60 s for a worker)")
        ->check(CLI::PositiveNumber);
    if (annotate) {
        cmd->add_option("--annotate", common.annotate,
                        "write the image with boxes, line colours and characters drawn on it "
                        "(several files: OUT-1.png, OUT-2.png, ...)");
    }
    if (patterns) {
        cmd->add_option("--patterns", common.patterns,
                        "pattern file to load instead of the default one (repeatable)");
    }
}

std::optional<Box> RectOf(const std::string& rect) {
    if (rect.empty()) return std::nullopt;
    return ParseRect(rect);
}

Subcommand AddRead(CLI::App& app, Common& common) {
    struct Args {
        std::string rect, minSize, maxSize, frag, font;
        int fontIndex = -1;
        gw::LineOptions read;
    };
    auto a = std::make_shared<Args>();
    auto* cmd = app.add_subcommand("read", "read the best text line (or every line) of an image");
    AddFiles(cmd, common, true, true);
    cmd->add_option("--rect", a->rect,
                    "rectangle L,T,R,B to read (inclusive; default whole image)");
    auto* fontOpt = cmd->add_option("--font", a->font, "font name to identify with (any case)");
    cmd->add_option("--font-index", a->fontIndex, "font to identify with, by index (default 0)")
        ->excludes(fontOpt)
        ->check(AtLeast(0));
    auto* spacesOpt = cmd->add_flag("--spaces", a->read.spaces,
                                    "put blanks where the line's pitch calls for them");
    cmd->add_option("--spacing", a->read.spacing, "put blanks by this pitch in pixels")
        ->excludes(spacesOpt)
        ->check(AtLeast(1));
    cmd->add_flag("--split", a->read.split,
                  "split over-wide (touching) objects and identify again");
    cmd->add_option("--min", a->minSize, "smallest object W,H kept (default 2,10)");
    cmd->add_option("--max", a->maxSize, "largest object W,H kept (default 80,80)");
    cmd->add_option("--frag", a->frag,
                    "join fragments between MINW,MINH and MAXW,MAXH (default off)");
    cmd->add_option("--holes", a->read.holes, "fill enclosed holes of at most N pixels")
        ->check(AtLeast(0));
    cmd->add_flag("--trim", a->read.trim, "trim object rectangles before identifying");
    cmd->add_option("--threshold", a->read.threshold,
                    "grey level below which a pixel is ink (default 128)")
        ->check(CLI::Range(1, 255));
    cmd->add_flag("--all-lines", a->read.allLines,
                  "print every line with its tag, score and pitch");
    cmd->footer(
        "Sizes are in pixels; the defaults suit print of 8 to 12 points scanned at 300 dpi.");
    return {cmd, [a, &common] {
                gw::LineOptions& read = a->read;
                if (!a->minSize.empty()) {
                    const auto v = ParseNumbers("--min", a->minSize, 2, "W,H");
                    read.minWidth = v[0], read.minHeight = v[1];
                }
                if (!a->maxSize.empty()) {
                    const auto v = ParseNumbers("--max", a->maxSize, 2, "W,H", 1);
                    read.maxWidth = v[0], read.maxHeight = v[1];
                }
                if (!a->frag.empty()) {
                    const auto v = ParseNumbers("--frag", a->frag, 4, "MINW,MINH,MAXW,MAXH");
                    read.fragMinWidth = v[0], read.fragMinHeight = v[1];
                    read.fragMaxWidth = v[2], read.fragMaxHeight = v[3];
                }
                if (const auto r = RectOf(a->rect))
                    read.rect = std::array<int, 4>{r->left, r->top, r->right, r->bottom};
                read.font = a->font;
                read.fontIndex = a->fontIndex < 0 ? 0 : a->fontIndex;
                return RunRead(common, read);
            }};
}

Subcommand AddBarcode(CLI::App& app, Common& common) {
    struct Args {
        std::string type, symbologies, rect;
        bool fullAscii = false;
        BarcodeSettings settings;
    };
    auto a = std::make_shared<Args>();
    auto* cmd = app.add_subcommand("barcode", "read Code 39 and Code 128 barcodes");
    AddFiles(cmd, common, true, false);
    gw::BarcodeOptions& o = a->settings.options;
    auto* sym = cmd->add_option("--symbologies", a->symbologies,
                                "symbologies to read, separated by commas: code39, code128 "
                                "(default: both)");
    cmd->add_option("--type", a->type, "one symbology: code39 or code128 (as --symbologies)")
        ->check(CLI::IsMember({"code39", "code128"}))
        ->excludes(sym);
    cmd->add_option("--rect", a->rect, "rectangle L,T,R,B to read in (default: the whole image)");
    cmd->add_flag("--try-harder", o.tryHarder, "more scan directions and lines (slower)");
    cmd->add_flag("--full-ascii,!--no-full-ascii", o.code39FullAscii,
                  "Code 39 pairs such as +A stand for a when every pair is valid (the "
                  "default, as in the library and Python); --no-full-ascii reads them as printed");
    cmd->add_flag("--check-character", o.code39CheckDigit,
                  "Code 39 ends in a modulo-43 check character: required, checked, left out");
    cmd->add_option("--min-length", o.minLength, "fewest characters of text a symbol may have")
        ->check(AtLeast(1));
    cmd->add_flag("-1,--one-line", a->settings.oneLine,
                  "one line per symbol: FILE, symbology and text separated by tabs");
    cmd->footer(
        "Every symbol anywhere in the image (or the rectangle) is read, at any angle.\n"
        "Exit status: 0 a symbol was read, 1 none, 2 bad usage or input.");
    return {cmd, [a, &common] {
                gw::BarcodeOptions& options = a->settings.options;
                if (!a->symbologies.empty()) SetSymbologies(a->symbologies, options);
                if (!a->type.empty()) SetSymbologies(a->type, options);
                a->settings.rect = RectOf(a->rect);
                return RunBarcode(common, a->settings);
            }};
}

Subcommand AddMrz(CLI::App& app, Common& common) {
    struct Args {
        std::string rect, ignored;
        std::vector<std::string> ignoredList;
        MrzSettings mrz;
    };
    auto a = std::make_shared<Args>();
    auto* cmd = app.add_subcommand(
        "mrz", "read and check a machine-readable zone (TD1, TD2, TD3, MRV-A, MRV-B)");
    AddFiles(cmd, common, true, false);
    cmd->add_option("--rect", a->rect, "rectangle L,T,R,B to look in (default whole image)");
    cmd->add_flag("--strict", a->mrz.strict,
                  "a zone read but not valid fails (exit status 1, as for no zone)");
    cmd->add_option("--today", a->mrz.today,
                    "the day YYYY-MM-DD that expired is judged against (default: today)");
    // Options of earlier versions, which the zone reader never used (it has
    // its own OCR-B cells and thresholds locally): taken with a note so that
    // old scripts run, neither loaded nor listed.
    for (const char* old : {"--font", "--font-index", "--threshold"}) {
        cmd->add_option_function<std::string>(
               old,
               [old](const std::string&) {
                   std::cerr << "glyphwick: note: mrz ignores " << old
                             << " (the zone reader uses its own OCR-B cells)\n";
               })
            ->group("");
    }
    cmd->add_option_function<std::vector<std::string>>(
           "--patterns",
           [](const std::vector<std::string>&) {
               std::cerr << "glyphwick: note: mrz ignores --patterns (the zone reader uses its "
                            "own OCR-B cells)\n";
           })
        ->group("");
    cmd->footer(
        "Check digits follow ICAO 9303 (weights 7, 3, 1). A character is corrected only\n"
        "where a check digit then agrees and the position's class allows it. A zone that\n"
        "is NOT VALID lists its reasons. Exit status: 0 a zone was read (and, with\n"
        "--strict, is valid), 1 none, 2 bad usage or input.");
    return {cmd, [a, &common] {
                a->mrz.rect = RectOf(a->rect);
                return RunMrz(common, a->mrz);
            }};
}

Subcommand AddInfo(CLI::App& app, Common& common) {
    auto* cmd = app.add_subcommand(
        "info", "show an image's format, size, pixel format, resolution, pages and properties");
    AddFiles(cmd, common, false, false);
    return {cmd, [&common] { return RunInfo(common); }};
}

Subcommand AddConvert(CLI::App& app) {
    struct Args {
        std::string in, out, compression;
        bool grey = false, oneBit = false, colour = false;
        ConvertSettings conv;
    };
    auto a = std::make_shared<Args>();
    auto* cmd = app.add_subcommand("convert", "convert an image's pixel format and file format");
    cmd->add_option("IN", a->in, "image to read (- for standard input)")->required();
    cmd->add_option("OUT", a->out, "image to write; the extension names the format")->required();
    auto* g = cmd->add_flag("--grey", a->grey, "to 8-bit grey (by the colours of a palette)");
    auto* b = cmd->add_flag("--1bit", a->oneBit, "to 1-bit black and white");
    auto* c = cmd->add_flag("--24bit", a->colour, "to 24-bit colour (a palette's colours kept)");
    g->excludes(b)->excludes(c);
    b->excludes(c);
    cmd->add_option("--rotate", a->conv.rotate,
                    "rotate-flip type 0-7 (1: 90 degrees clockwise, 2: 180, 4: mirror)")
        ->check(CLI::Range(0, 7));
    cmd->add_option("--threshold", a->conv.threshold,
                    "grey levels at or above N become white, the rest black")
        ->check(CLI::Range(0, 255));
    cmd->add_flag("--invert", a->conv.invert, "invert every pixel");
    cmd->add_option("--quality", a->conv.save.quality, "JPEG quality 0-100")
        ->check(CLI::Range(0, 100));
    cmd->add_option("--tiff-compression", a->compression,
                    "lzw, none, or for 1-bit images ccitt3, ccitt4 or rle")
        ->check(CLI::IsMember({"lzw", "ccitt3", "ccitt4", "rle", "none"}));
    cmd->add_option("--page", a->conv.load.page, "page of a multi-page TIFF file (default 1)")
        ->check(AtLeast(1));
    cmd->add_flag_function(
        "--keep-orientation", [a](int64_t) { a->conv.load.applyExifOrientation = false; },
        "keep the stored pixels; do not turn camera pictures upright by their Exif tag");
    return {cmd, [a] {
                using T = ConvertSettings::Target;
                a->conv.target = a->grey     ? T::Grey
                                 : a->oneBit ? T::OneBit
                                 : a->colour ? T::Colour
                                             : T::Keep;
                a->conv.save.compression = a->compression;
                return RunConvert(a->in, a->out, a->conv);
            }};
}

Subcommand AddFonts(CLI::App& app) {
    auto patterns = std::make_shared<std::vector<std::string>>();
    auto json = std::make_shared<bool>(false);
    auto* cmd = app.add_subcommand("fonts", "list the fonts of the pattern store");
    cmd->add_option("--patterns", *patterns,
                    "pattern file to load instead of the default one (repeatable)");
    cmd->add_flag("--json", *json, "print JSON");
    return {cmd, [patterns, json] { return RunFonts(*json, *patterns); }};
}

// True when the command line asks for JSON: then errors are JSON too.
bool WantsJson(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0 || std::strcmp(argv[i], "--jsonl") == 0)
            return true;
    }
    return false;
}

// A failure of the whole run: one line on the standard error stream, and a
// JSON object on the standard output when JSON was asked for.
int Fail(bool json, const std::string& message) {
    std::cerr << "glyphwick: " << message << "\n";
    if (json) {
        std::cout << nlohmann::ordered_json{{"error", message}, {"status", int(kBadInput)}}.dump(
                         -1, ' ', false, nlohmann::json::error_handler_t::replace)
                  << "\n";
    }
    return kBadInput;
}

}  // namespace

int main(int argc, char** argv) {
    // File names are in the user's locale (UTF-8 names need it).
    std::setlocale(LC_ALL, "");
    CLI::App app{
        std::string("glyphwick ").append(GW_GetVersion()) +
            ": reads text lines, machine-readable zones and barcodes from document images.\n"
            "Exit status: 0 something was read, 1 nothing was read, 2 bad usage or input, 3 a "
            "file\n"
            "of a --jobs batch was not read within --timeout seconds.",
        "glyphwick"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("glyphwick ") + GW_GetVersion());

    Common common;
    const Subcommand commands[] = {AddRead(app, common), AddBarcode(app, common),
                                   AddMrz(app, common),  AddInfo(app, common),
                                   AddConvert(app),      AddFonts(app)};
    const bool json = WantsJson(argc, argv);
    if (argc > 1 && argv[1][0] != '-') {
        bool known = false;
        for (const Subcommand& c : commands) known = known || c.app->get_name() == argv[1];
        if (!known) {
            return Fail(json, Cat("unknown command '", argv[1],
                                  "'; the commands are read, mrz, barcode, info, convert and "
                                  "fonts (see glyphwick --help)"));
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return Fail(json, Cat(e.what(), " (see glyphwick --help)"));
    }

    try {
        for (const Subcommand& c : commands) {
            if (*c.app) return c.run();
        }
    } catch (const InputError& e) {
        return Fail(json, e.Line());
    } catch (const std::bad_alloc&) {
        return Fail(json, "out of memory");
    } catch (const std::exception& e) {
        return Fail(json, e.what());
    }
    return kBadInput;
}
