// Folders of barcode images with their expected texts (NAME.txt beside
// NAME.png or NAME.jpg, one text a line when a page holds several symbols), read by Glyphwick's
// whole-image reader and by zxing-cpp on the same grey pixels: read rates, wrong reads and times.
#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DVImageProcessor.h"
#include "GlyphwickBarcodes.h"
#include "GlyphwickGrey.h"

#ifdef GW_HAVE_ZXING
#define ZX_USE_UTF8
#include <ZXing/ReadBarcode.h>
#endif

namespace sets {

struct Image {
    std::string name;                // path below the set's folder
    std::string category;            // the folder holding it
    std::string want;                // the first text
    std::vector<std::string> wants;  // every text the image holds
    bool code39 = false;             // the symbology, from the names: code39... or code128...
    std::unique_ptr<DVImageProcessor> image;
    gw::GreyImage grey;  // what zxing-cpp reads: the same grey levels
};

inline std::vector<Image> Load(const std::filesystem::path& folder) {
    std::vector<Image> out;
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) return out;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder, error)) {
        const std::string ext = e.path().extension().string();
        if (ext == ".png" || ext == ".jpg") files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
        std::ifstream in(std::filesystem::path(f).replace_extension(".txt"));
        Image i;
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) i.wants.push_back(line);
        if (i.wants.empty()) continue;
        i.want = i.wants.front();
        i.image = std::make_unique<DVImageProcessor>();
        if (i.image->LoadFromFile(f.string().c_str(), nullptr) != 0) continue;
        i.grey = gw::ToGrey(*i.image);
        i.name = std::filesystem::relative(f, folder).string();
        i.category = f.parent_path().filename().string();
        i.code39 =
            i.category.rfind("code39", 0) == 0 || f.filename().string().rfind("code39", 0) == 0;
        out.push_back(std::move(i));
    }
    return out;
}

/// Texts read from one image: right when every expected text was read (a
/// result counts as its text or its Code 32 reading), wrong when any result
/// is none of them.
struct Reading {
    std::vector<std::string> texts;
    bool right = false, wrong = false;
};

/// Whether text is one of wants.
inline bool Wanted(const std::vector<std::string>& wants, const std::string& text) {
    return std::find(wants.begin(), wants.end(), text) != wants.end();
}

/// Sets right and wrong of r from its texts (each result's Code 32 reading,
/// when it has one, in codes32 at the same place, else empty).
inline void Score(Reading& r, const std::vector<std::string>& wants,
                  const std::vector<std::string>& codes32) {
    std::vector<bool> seen(wants.size(), false);
    r.wrong = false;
    for (size_t k = 0; k < r.texts.size(); ++k) {
        bool ok = false;
        for (size_t w = 0; w < wants.size(); ++w)
            if (r.texts[k] == wants[w] || (!codes32[k].empty() && codes32[k] == wants[w]))
                seen[w] = true, ok = true;
        r.wrong |= !ok;
    }
    r.right = std::find(seen.begin(), seen.end(), false) == seen.end();
}

inline Reading Glyphwick(const Image& i) {
    gw::BarcodeOptions options;
    options.code39 = i.code39;
    options.code128 = !i.code39;
    options.code39FullAscii = true;
    Reading r;
    std::vector<std::string> codes32;
    for (const gw::BarcodeResult& b : gw::ReadBarcodes(*i.image, options)) {
        r.texts.push_back(b.text);
        codes32.push_back(b.code32);
    }
    Score(r, i.wants, codes32);
    return r;
}

#ifdef GW_HAVE_ZXING
/// zxing-cpp's whole-image reader with its default hints (try harder, try
/// rotated) restricted to the symbology. The downscaled pass is off: in
/// Debian's 1.4.0 it can trip an assertion and abort the run.
inline Reading ZXing(const Image& i, bool extended = true) {
    const ZXing::ImageView view(i.grey.pixels.data(), int(i.grey.width), int(i.grey.height),
                                ZXing::ImageFormat::Lum);
    ZXing::DecodeHints hints;
    hints.setFormats(i.code39 ? ZXing::BarcodeFormat::Code39 : ZXing::BarcodeFormat::Code128);
    hints.setTryHarder(true).setTryDownscale(false).setTryCode39ExtendedMode(extended);
    Reading r;
    for (const ZXing::Result& z : ZXing::ReadBarcodes(view, hints))
        if (z.isValid()) r.texts.push_back(z.text());
    Score(r, i.wants, std::vector<std::string>(r.texts.size()));
    return r;
}
#endif

/// Prints, per category, images, right and wrong reads of each reader.
inline void PrintRates(const char* title, const std::vector<Image>& images, bool details) {
    struct Count {
        int n = 0, gwRight = 0, gwWrong = 0, zxRight = 0, zxWrong = 0, zxPlain = 0;
    };
    std::map<std::string, Count> counts;
    for (const Image& i : images) {
        Count& c = counts[i.category];
        Count& all = counts["(all)"];
        const Reading g = Glyphwick(i);
        ++c.n, ++all.n;
        c.gwRight += g.right, all.gwRight += g.right;
        c.gwWrong += !g.right && g.wrong, all.gwWrong += !g.right && g.wrong;
        std::string z = "-";
#ifdef GW_HAVE_ZXING
        const Reading x = ZXing(i), plain = ZXing(i, false);
        c.zxRight += x.right, all.zxRight += x.right;
        c.zxWrong += !x.right && x.wrong, all.zxWrong += !x.right && x.wrong;
        c.zxPlain += plain.right, all.zxPlain += plain.right;
        z = x.texts.empty() ? "" : x.texts[0];
#endif
        if (details)
            std::printf("  %-26s %-5s %-5s want \"%s\" glyphwick \"%s\" zxing-cpp \"%s\"\n",
                        i.name.c_str(),
                        g.right   ? "read"
                        : g.wrong ? "WRONG"
                                  : "miss",
                        z == i.want ? "read"
                        : z.empty() ? "miss"
                                    : "WRONG",
                        i.want.c_str(), g.texts.empty() ? "" : g.texts[0].c_str(), z.c_str());
    }
    std::printf(
        "%s: images, then right and wrong reads of Glyphwick and of zxing-cpp "
        "(full ASCII on; plain: off)\n",
        title);
    for (const auto& [name, c] : counts)
        std::printf(
            "  %-12s %4d   glyphwick %4d right %3d wrong   zxing-cpp %4d right %3d wrong"
            " (plain %d)\n",
            name.c_str(), c.n, c.gwRight, c.gwWrong, c.zxRight, c.zxWrong, c.zxPlain);
}

}  // namespace sets
