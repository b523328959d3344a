// The TIFF module's only export: the table of its functions.
#include "lazy/TiffModule.h"

extern "C" __attribute__((visibility("default"))) const gw::lazy::TiffTable*
gw_tiff_module_table() {
    using namespace gw::codec;
    static const gw::lazy::TiffTable table{gw::lazy::kTiffTableRevision,
                                           &DecodeTiff,
                                           &DecodeTiffPage,
                                           &TiffPageCount,
                                           &EncodeTiff,
                                           &ReadExifProperties,
                                           &ReadTiffProperties,
                                           &BuildExifBlock,
                                           &WriteTiffProperties};
    return &table;
}
