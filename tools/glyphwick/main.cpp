// glyphwick: reads text lines, machine-readable zones and barcodes from
// document images with the Glyphwick library, and shows, converts and lists
// what the library works with.
#include <iostream>

#include <CLI/CLI.hpp>

#include "Commands.h"
#include "Errors.h"
#include "Glyphwick.h"

using namespace gwtool;

namespace {

// Options shared by the reading commands.
void AddCommon(CLI::App* cmd, Common& common, bool patterns) {
    cmd->add_option("IMAGE", common.files,
                    "image files (BMP, JPEG, GIF, TIFF, PNG, JPEG 2000, WSQ)")
        ->required();
    cmd->add_flag("--json", common.json, "print a JSON array, one object per file");
    cmd->add_option("--annotate", common.annotate,
                    "write the image with boxes, line colours and characters drawn on it "
                    "(several files: OUT-1.png, OUT-2.png, ...)");
    if (patterns) {
        cmd->add_option("--patterns", common.patterns,
                        "pattern file to load instead of the default one (repeatable)");
    }
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        std::string("glyphwick ").append(GW_GetVersion()) +
            ": reads text lines, machine-readable zones and barcodes from document images.\n"
            "Exit status: 0 something was read, 1 nothing was read, 2 bad usage or input.",
        "glyphwick"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("glyphwick ") + GW_GetVersion());

    Common common;
    std::string rect, minSize, maxSize, frag, font;
    int fontIndex = -1;
    ReadSettings read;

    auto* readCmd =
        app.add_subcommand("read", "read the best text line (or every line) of an image");
    AddCommon(readCmd, common, true);
    readCmd->add_option("--rect", rect,
                        "rectangle L,T,R,B to read (inclusive; default whole image)");
    auto* fontOpt = readCmd->add_option("--font", font, "font name to identify with (any case)");
    readCmd->add_option("--font-index", fontIndex, "font to identify with, by index (default 0)")
        ->excludes(fontOpt)
        ->check(CLI::NonNegativeNumber);
    auto* spacesOpt = readCmd->add_flag("--spaces", read.spaces,
                                        "put blanks where the line's pitch calls for them");
    readCmd->add_option("--spacing", read.spacing, "put blanks by this pitch in pixels")
        ->excludes(spacesOpt)
        ->check(CLI::PositiveNumber);
    readCmd->add_flag("--split", read.split,
                      "split over-wide (touching) objects and identify again");
    readCmd->add_option("--min", minSize, "smallest object W,H kept (default 2,10)");
    readCmd->add_option("--max", maxSize, "largest object W,H kept (default 80,80)");
    readCmd->add_option("--frag", frag,
                        "join fragments between MINW,MINH and MAXW,MAXH (default off)");
    readCmd->add_option("--holes", read.holes, "fill enclosed holes of at most N pixels")
        ->check(CLI::NonNegativeNumber);
    readCmd->add_flag("--trim", read.trim, "trim object rectangles before identifying");
    readCmd
        ->add_option("--threshold", read.threshold,
                     "grey level below which a pixel is ink (default 128)")
        ->check(CLI::Range(1, 255));
    readCmd->add_flag("--all-lines", read.allLines,
                      "print every line with its tag, score and pitch");
    readCmd->footer(
        "Sizes are in pixels; the defaults suit print of 8 to 12 points scanned at 300 dpi.");

    auto* barcodeCmd = app.add_subcommand("barcode", "read Code 39 or Code 128 barcodes");
    AddCommon(barcodeCmd, common, false);
    std::string type;
    barcodeCmd->add_option("--type", type, "code39 or code128")
        ->required()
        ->check(CLI::IsMember({"code39", "code128"}));
    barcodeCmd->add_option("--rect", rect,
                           "rectangle L,T,R,B holding the barcode (default: found)");
    barcodeCmd->footer("Without --rect every region that holds a row of bars is read.");

    MrzSettings mrz;
    auto* mrzCmd = app.add_subcommand(
        "mrz", "read and check a machine-readable zone (TD1, TD2, TD3, MRV-A, MRV-B)");
    AddCommon(mrzCmd, common, true);
    mrzCmd->add_option("--rect", rect, "rectangle L,T,R,B to look in (default whole image)");
    auto* mrzFont = mrzCmd->add_option("--font", mrz.font, "font name (default: the OCR-B font)");
    mrzCmd->add_option("--font-index", mrz.fontIndex, "font by index")
        ->excludes(mrzFont)
        ->check(CLI::NonNegativeNumber);
    mrzCmd
        ->add_option("--threshold", mrz.threshold,
                     "grey level below which a pixel is ink (default 128)")
        ->check(CLI::Range(1, 255));
    mrzCmd->footer(
        "Check digits follow ICAO 9303 (weights 7, 3, 1). A character is corrected only\n"
        "where a check digit then agrees and the position's class allows it.");

    auto* infoCmd = app.add_subcommand(
        "info", "show an image's format, size, pixel format, resolution and properties");
    AddCommon(infoCmd, common, false);

    std::string in, out;
    ConvertSettings conv;
    bool grey = false, oneBit = false, colour = false;
    std::string compression;
    auto* convertCmd =
        app.add_subcommand("convert", "convert an image's pixel format and file format");
    convertCmd->add_option("IN", in, "image to read")->required();
    convertCmd->add_option("OUT", out, "image to write; the extension names the format")
        ->required();
    auto* g = convertCmd->add_flag("--grey", grey, "to 8-bit grey");
    auto* b = convertCmd->add_flag("--1bit", oneBit, "to 1-bit black and white");
    auto* c = convertCmd->add_flag("--24bit", colour, "to 24-bit colour");
    g->excludes(b)->excludes(c);
    b->excludes(c);
    convertCmd
        ->add_option("--rotate", conv.rotate,
                     "rotate-flip type 0-7 (1: 90 degrees clockwise, 2: 180, 4: mirror)")
        ->check(CLI::Range(0, 7));
    convertCmd
        ->add_option("--threshold", conv.threshold,
                     "grey levels at or above N become white, the rest black")
        ->check(CLI::Range(0, 255));
    convertCmd->add_flag("--invert", conv.invert, "invert every pixel");
    convertCmd->add_option("--quality", conv.save.quality, "JPEG quality 0-100")
        ->check(CLI::Range(0, 100));
    convertCmd->add_option("--tiff-compression", compression, "lzw, ccitt3, ccitt4, rle or none")
        ->check(CLI::IsMember({"lzw", "ccitt3", "ccitt4", "rle", "none"}));

    std::vector<std::string> fontPatterns;
    bool fontsJson = false;
    auto* fontsCmd = app.add_subcommand("fonts", "list the fonts of the pattern store");
    fontsCmd->add_option("--patterns", fontPatterns,
                         "pattern file to load instead of the default one (repeatable)");
    fontsCmd->add_flag("--json", fontsJson, "print JSON");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        // One line: what is wrong with the command line.
        std::cerr << "glyphwick: " << e.what() << " (see glyphwick --help)\n";
        return kBadInput;
    }

    try {
        std::optional<Box> box;
        if (!rect.empty()) box = ParseRect(rect);
        if (*readCmd) {
            if (!minSize.empty()) {
                const auto v = ParseNumbers("--min", minSize, 2, "W,H");
                read.minWidth = v[0], read.minHeight = v[1];
            }
            if (!maxSize.empty()) {
                const auto v = ParseNumbers("--max", maxSize, 2, "W,H", 1);
                read.maxWidth = v[0], read.maxHeight = v[1];
            }
            if (!frag.empty()) {
                const auto v = ParseNumbers("--frag", frag, 4, "MINW,MINH,MAXW,MAXH");
                read.fragMinWidth = v[0], read.fragMinHeight = v[1];
                read.fragMaxWidth = v[2], read.fragMaxHeight = v[3];
            }
            read.rect = box;
            read.font = font;
            read.fontIndex = fontIndex < 0 ? 0 : fontIndex;
            return RunRead(common, read);
        }
        if (*barcodeCmd) {
            return RunBarcode(common, type == "code39" ? Symbology::Code39 : Symbology::Code128,
                              box);
        }
        if (*mrzCmd) {
            mrz.rect = box;
            return RunMrz(common, mrz);
        }
        if (*infoCmd) return RunInfo(common);
        if (*convertCmd) {
            using T = ConvertSettings::Target;
            conv.target = grey ? T::Grey : oneBit ? T::OneBit : colour ? T::Colour : T::Keep;
            conv.save.compression = compression;
            return RunConvert(in, out, conv);
        }
        if (*fontsCmd) return RunFonts(fontsJson, fontPatterns);
    } catch (const InputError& e) {
        std::cerr << "glyphwick: " << e.Line() << "\n";
        return kBadInput;
    } catch (const std::bad_alloc&) {
        std::cerr << "glyphwick: out of memory\n";
        return kBadInput;
    } catch (const std::exception& e) {
        std::cerr << "glyphwick: " << e.what() << "\n";
        return kBadInput;
    }
    return kBadInput;
}
