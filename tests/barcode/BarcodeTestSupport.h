// Helpers of the barcode tests: symbols rendered by zint (an independent
// generator) as BMP files, pages drawn from run widths, and an
// observer that records the library's signals.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "Glyphwick.h"
#include "GlyphwickGrey.h"
#include "platform/Signals.h"
#include "support/Page.h"

namespace bartest {

/// A grey raster, rows top to bottom, 0 black to 255 white.
using Grey = gw::GreyImage;

/// Runs `zint <options> --filetype=bmp` on data (written to a file and passed
/// with -i, so any byte goes) in a temporary folder and returns the picture.
/// Fails the calling test (empty result) when zint cannot run.
Grey Zint(const std::string& options, const std::string& data);

/// Runs command through the shell, its output dropped; fails the calling test
/// when it does not succeed (zint and ImageMagick come with
/// scripts/install-deps).
void Shell(const std::string& command);

/// zint's rendering of data (options such as "-b 20 --height=30"), without
/// its text, as a PNG file in a temporary folder: the file's name quoted for
/// the shell and followed by a blank, ready for a command line.
std::string ZintPng(const std::string& options, const std::string& data);

/// Runs ImageMagick's convert with arguments into a PNG in a temporary
/// folder (written as format, such as "PNG8:", when given) and loads it.
std::unique_ptr<DVImageProcessor> Magick(const std::string& arguments,
                                         const std::string& format = "");

/// The shared page with symbols and runs drawn on it.
struct Page : gwtest::Page {
    using gwtest::Page::Page;
    /// Copies grey into the page at (x0, y0): below 128 becomes ink, a set bit
    /// or the byte ink; the rest paper (clear bit or the byte paper).
    void Put(const Grey& grey, uint32_t x0, uint32_t y0, uint8_t ink = 0, uint8_t paper = 255);
    /// Draws runs from column x0 on rows y0 to y1: widths[0] a bar, then
    /// alternately space and bar.
    void Runs(const std::vector<uint32_t>& widths, uint32_t x0, uint32_t y0, uint32_t y1);
};

/// Element widths of a sequence of module patterns ("211214", ...) with
/// `module` pixels per module; `reversed` lists them from the other end.
std::vector<uint32_t> ModuleRuns(const std::vector<std::string>& patterns, uint32_t module,
                                 bool reversed = false);

/// Settings that read everything with the default threshold.
AREAPARAMS Params();

/// The whole page as a RECT.
RECT Whole(const Page& page);

/// Records every signal while alive.
class SignalLog : public dv::SignalObserver {
  public:
    SignalLog();
    ~SignalLog() override;
    void OnBeep(uint32_t frequency, uint32_t duration) override;
    void OnMessage(const char* text, const char* caption, uint32_t type) override;

    uint64_t beeps = 0;
    bool otherBeep = false;  ///< a beep that was not 1 Hz for 1 ms
    std::vector<std::string> texts;
    std::vector<std::string> captions;
    std::vector<uint32_t> types;

  private:
    dv::SignalObserver* previous_;
};

}  // namespace bartest
