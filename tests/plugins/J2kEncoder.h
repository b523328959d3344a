// Writes JPEG 2000 test data with OpenJPEG's own encoder, in memory: a J2K
// codestream or a JP2 file from planes of samples. Shared by the plug-in tests
// and the plug-in benchmark.
#pragma once

#include <openjpeg.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace gwtest {

/// An image to encode: components of width x height unsigned 8-bit samples
/// each, rows top to bottom.
struct J2kImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<std::vector<int32_t>> planes;  ///< one per component
};

namespace detail {

struct Sink {
    std::vector<uint8_t>* bytes;
    size_t pos;
};

inline OPJ_SIZE_T SinkWrite(void* buffer, OPJ_SIZE_T count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    if (sink->pos + count > sink->bytes->size()) sink->bytes->resize(sink->pos + count);
    std::memcpy(sink->bytes->data() + sink->pos, buffer, count);
    sink->pos += count;
    return count;
}

inline OPJ_OFF_T SinkSkip(OPJ_OFF_T count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    if (count < 0 && size_t(-count) > sink->pos) return -1;
    sink->pos = size_t(OPJ_OFF_T(sink->pos) + count);
    if (sink->pos > sink->bytes->size()) sink->bytes->resize(sink->pos);
    return count;
}

inline OPJ_BOOL SinkSeek(OPJ_OFF_T position, void* user) {
    auto* sink = static_cast<Sink*>(user);
    if (position < 0) return OPJ_FALSE;
    sink->pos = size_t(position);
    if (sink->pos > sink->bytes->size()) sink->bytes->resize(sink->pos);
    return OPJ_TRUE;
}

inline void Quiet(const char*, void*) {}

}  // namespace detail

/// Encodes the image as a JP2 file (jp2) or a bare codestream. Lossless with
/// the reversible 5-3 wavelet unless compressionRatio > 0, which selects the
/// 9-7 wavelet at that ratio. Three components are coded with the colour
/// transform. Returns no bytes when OpenJPEG refuses.
inline std::vector<uint8_t> EncodeJ2k(const J2kImage& image, bool jp2, float compressionRatio = 0) {
    const uint32_t count = uint32_t(image.planes.size());
    std::vector<opj_image_cmptparm_t> params(count);
    for (uint32_t c = 0; c < count; ++c) {
        opj_image_cmptparm_t& p = params[c];
        std::memset(&p, 0, sizeof p);
        p.dx = p.dy = 1;
        p.w = image.width;
        p.h = image.height;
        p.prec = 8;
    }
    opj_image_t* img =
        opj_image_create(count, params.data(), count >= 3 ? OPJ_CLRSPC_SRGB : OPJ_CLRSPC_GRAY);
    if (!img) return {};
    img->x0 = img->y0 = 0;
    img->x1 = image.width;
    img->y1 = image.height;
    for (uint32_t c = 0; c < count; ++c) {
        std::copy(image.planes[c].begin(), image.planes[c].end(), img->comps[c].data);
    }

    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.tcp_numlayers = 1;
    parameters.tcp_rates[0] = compressionRatio;
    parameters.cp_disto_alloc = 1;
    parameters.irreversible = compressionRatio > 0;
    parameters.tcp_mct = count >= 3 ? 1 : 0;
    int resolutions = 1;
    while (resolutions < 6 && (std::min(image.width, image.height) >> resolutions) >= 1)
        ++resolutions;
    parameters.numresolution = resolutions;

    std::vector<uint8_t> bytes;
    detail::Sink sink{&bytes, 0};
    opj_codec_t* codec = opj_create_compress(jp2 ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
    opj_stream_t* stream = opj_stream_create(1 << 16, OPJ_FALSE);
    opj_set_info_handler(codec, detail::Quiet, nullptr);
    opj_set_warning_handler(codec, detail::Quiet, nullptr);
    opj_set_error_handler(codec, detail::Quiet, nullptr);
    opj_stream_set_user_data(stream, &sink, nullptr);
    opj_stream_set_write_function(stream, detail::SinkWrite);
    opj_stream_set_skip_function(stream, detail::SinkSkip);
    opj_stream_set_seek_function(stream, detail::SinkSeek);
    const bool ok = opj_setup_encoder(codec, &parameters, img) &&
                    opj_start_compress(codec, img, stream) && opj_encode(codec, stream) &&
                    opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(img);
    if (!ok) bytes.clear();
    return bytes;
}

}  // namespace gwtest
