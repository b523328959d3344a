// Image operations with fuzzed arguments: a small image of any of the three
// formats, then a run of operations, each chosen by one byte with its
// arguments taken from the bytes after it. Buffers handed to an operation
// have the size its documentation asks for, so that any access past them is
// the operation's fault.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "FuzzInput.h"

namespace {

using fuzz::Input;

dv::Rect FuzzRect(Input& in) {
    return {in.Loose(-2, 70), in.Loose(-2, 70), in.Loose(-2, 70), in.Loose(-2, 70)};
}

// Bytes of one row as GetRows and GetPackedRows count them.
size_t RowBytes(DVImageProcessor& image) {
    const size_t width = image.GetWidth();
    return image.GetBitsPerPixel() == 1 ? (width + 7) / 8 : width;
}

void Pixels(DVImageProcessor& image, Input& in, uint8_t op) {
    const uint32_t row = uint32_t(in.Loose(0, 70));
    const uint32_t column = uint32_t(in.Loose(0, 200));
    const uint32_t count = uint32_t(in.Range(0, 600));
    std::vector<uint8_t> buffer = in.Bytes(count);
    // SetBits reads packed rows: three bytes a pixel on 24-bit images.
    const size_t packedRow = RowBytes(image) * (image.GetBitsPerPixel() == 24 ? 3 : 1);
    std::vector<uint8_t> bits(packedRow * image.GetHeight());
    std::vector<uint8_t> packed(RowBytes(image) * image.GetHeight());
    std::vector<uint8_t*> rows(image.GetHeight());
    for (size_t y = 0; y < rows.size(); ++y) rows[y] = packed.data() + y * RowBytes(image);
    uint32_t colour = in.U32();
    switch (op) {
        case 0:
            image.GetBytes(row, column, buffer.data(), count);
            break;
        case 1:
            image.SetBytes(row, column, buffer.data(), count);
            break;
        case 2: {
            // Any stride (below the width it is refused): the buffer holds
            // every row, padding included, at that stride. SetBits reads
            // packed rows and only records the stride it is given.
            const uint32_t bufferStride = row % 512;
            const dv::Bitmap* bitmap = image.GetBitmap();
            const size_t bitmapStride = bitmap != nullptr ? bitmap->GetStride() : 0;
            std::vector<uint8_t> out(
                std::max<size_t>(bufferStride, bitmapStride) * image.GetHeight() + bitmapStride);
            image.GetBits(out.data(), bufferStride);
            image.SetBits(bits.data(), column);
            break;
        }
        case 3:
            image.GetRows(rows.data());
            image.SetRows(rows.data());
            image.GetPackedRows(packed.data());
            image.SetPackedRows(packed.data());
            break;
        case 4:
            image.GetPixel(row, column, &colour);
            image.SetPixel(column, row, &colour);
            break;
        default:
            image.CountColours(&colour);
            break;
    }
}

void Convert(DVImageProcessor& image, Input& in, uint8_t op) {
    switch (op) {
        case 0: {
            // Weights as a host passes them: fractions of one, some negative.
            const float r = float(in.Range(-100, 300)) / 100.0f;
            const float g = float(in.Range(-100, 300)) / 100.0f;
            const float b = float(in.Range(-100, 300)) / 100.0f;
            image.ConvertToGrey(r, g, b);
            break;
        }
        case 1:
            image.ConvertTo24Bit();
            break;
        case 2:
            image.ConvertTo1Bit();
            break;
        case 3: {
            const uint32_t count = uint32_t(in.Range(0, 257));
            std::vector<uint32_t> entries(count);
            for (uint32_t& e : entries) e = in.U32();
            image.SetPalette(entries.data(), count);
            break;
        }
        case 4:
            image.NormaliseGreyPalette();
            image.SetDefaultPalette();
            break;
        default:
            image.RotateFlip(in.Loose(0, 7));
            break;
    }
}

void Tone(DVImageProcessor& image, Input& in, uint8_t op) {
    switch (op) {
        case 0: {
            const uint32_t kw = uint32_t(in.Loose(0, 7));
            const uint32_t kh = uint32_t(in.Loose(0, 7));
            // A kernel of the stated size when that is small; a huge size
            // gets no kernel, which must be refused, not read.
            const bool fits = kw <= 7 && kh <= 7;
            std::vector<int32_t> kernel(fits ? size_t{kw} * kh : 0);
            for (int32_t& k : kernel) k = in.Loose(-4, 8);
            image.Convolve(fits ? kernel.data() : nullptr, kw, kh);
            break;
        }
        case 1: {
            const uint32_t binCount = uint32_t(in.Range(0, 300));
            std::vector<uint32_t> bins(binCount);
            const dv::Rect rect = FuzzRect(in);
            const uint32_t channel = uint32_t(in.Loose(0, 4));
            image.GetHistogram(bins.data(), binCount, channel, (in.Byte() & 1) ? &rect : nullptr);
            image.GetImageHistogram(bins.data(), binCount, uint32_t(in.Loose(0, 4)));
            break;
        }
        case 2:
            image.Threshold(uint32_t(in.Loose(0, 256)));
            break;
        case 3: {
            const uint32_t low = uint32_t(in.Loose(0, 256));
            image.ThresholdBand(low, uint32_t(in.Loose(0, 256)));
            break;
        }
        default:
            image.Invert();
            break;
    }
}

void Copy(DVImageProcessor& image, DVImageProcessor& other, Input& in, uint8_t op) {
    const dv::Rect rect = FuzzRect(in);
    if (op == 0) {
        const int32_t mode = in.Loose(0, 2);
        const dv::Rect* area = (in.Byte() & 1) ? &rect : nullptr;
        if (mode != 2) {
            image.CopyTo(&other, mode, area);
            return;
        }
        // A destination that shares the bitmap must not outlive the source's
        // next bitmap change (the host's rule), so it lives for this step only.
        DVImageProcessor shared;
        image.CopyTo(&shared, mode, area);
        uint32_t colour = 0;
        shared.GetPixel(0, 0, &colour);
        return;
    }
    const dv::Position from = {uint32_t(in.Loose(0, 70)), uint32_t(in.Loose(0, 70))};
    const dv::Position to = {uint32_t(in.Loose(0, 70)), uint32_t(in.Loose(0, 70))};
    const dv::Size size = {uint32_t(in.Loose(0, 70)), uint32_t(in.Loose(0, 70))};
    const uint32_t combine = uint32_t(in.Loose(0, 2));
    const uint32_t sourceMode = uint32_t(in.Loose(0, 2));
    const uint32_t destinationMode = uint32_t(in.Loose(0, 2));
    // Combining an image with itself is a use a host may make too.
    dv::Bitmap* source = (op == 1 ? other : image).GetBitmap();
    image.Combine(source, &from, &to, &size, combine, sourceMode, destinationMode);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    const int32_t format = fuzz::Format(in.Byte());
    const uint32_t width = uint32_t(in.Range(1, 64));
    const uint32_t height = uint32_t(in.Range(1, 64));
    DVImageProcessor image;
    if (!fuzz::FillImage(image, in, width, height, format)) return 0;
    // A second image of another size, the other side of CopyTo and Combine.
    DVImageProcessor other;
    const int32_t otherFormat = fuzz::Format(in.Byte());
    const uint32_t otherWidth = uint32_t(in.Range(1, 16));
    if (!fuzz::FillImage(other, in, otherWidth, uint32_t(in.Range(1, 16)), otherFormat)) return 0;

    for (int step = 0; step < 12 && in.Left() != 0; ++step) {
        const uint8_t op = in.Byte();
        switch (op % 4) {
            case 0:
                Pixels(image, in, uint8_t(op / 4 % 6));
                break;
            case 1:
                Convert(image, in, uint8_t(op / 4 % 6));
                break;
            case 2:
                Tone(image, in, uint8_t(op / 4 % 5));
                break;
            default:
                Copy(image, other, in, uint8_t(op / 4 % 3));
                break;
        }
    }
    return 0;
}
