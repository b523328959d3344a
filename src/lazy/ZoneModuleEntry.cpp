// The private module's only export: the table of the zone reader's functions.
#include "lazy/ZoneModule.h"

namespace {

gw::MrzResult ReadImage(const DVImageProcessor& image, const gw::MrzOptions& options) {
    return gw::ReadMrz(image, options);
}

gw::MrzResult ReadView(const gw::ImageView& image, const gw::MrzOptions& options) {
    return gw::ReadMrz(image, options);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) const gw::lazy::ZoneTable*
gw_zone_module_table() {
    static const gw::lazy::ZoneTable table{gw::lazy::kZoneTableRevision, &ReadImage, &ReadView,
                                           &gw::MrzCheckDigit, &GW_ReadMrzText};
    return &table;
}
