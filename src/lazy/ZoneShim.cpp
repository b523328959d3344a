// The shared library's zone reader: each public function opens the private
// module (ZoneModule.h) once and calls its implementation there.
#include <algorithm>
#include <cstring>
#include <string>

#include "lazy/PrivateModule.h"
#include "lazy/ZoneModule.h"

namespace gw {
namespace {

const lazy::OpenedTable& Opened() {
    static const lazy::OpenedTable opened = lazy::OpenModuleTable(
        lazy::kZoneModuleName, lazy::kZoneTableSymbol, lazy::kZoneTableRevision);
    return opened;
}

const lazy::ZoneTable* Table() {
    return static_cast<const lazy::ZoneTable*>(Opened().table);
}

MrzResult Unavailable() {
    MrzResult out;
    out.error = Opened().error;
    return out;
}

}  // namespace

MrzResult ReadMrz(const DVImageProcessor& image, const MrzOptions& options) {
    const lazy::ZoneTable* t = Table();
    return t ? t->readImage(image, options) : Unavailable();
}

MrzResult ReadMrz(const ImageView& image, const MrzOptions& options) {
    const lazy::ZoneTable* t = Table();
    return t ? t->readView(image, options) : Unavailable();
}

int MrzCheckDigit(const std::string& text) {
    const lazy::ZoneTable* t = Table();
    return t ? t->checkDigit(text) : -1;
}

}  // namespace gw

extern "C" int GW_ReadMrzText(const DVImageProcessor* image, char* buffer, int size) {
    if (image == nullptr) return -1;
    if (const gw::lazy::ZoneTable* t = gw::Table()) return t->readText(image, buffer, size);
    const std::string json = gw::MrzResultToJson(gw::Unavailable());
    if (buffer != nullptr && size > 0) {
        const size_t n = std::min(json.size(), size_t(size - 1));
        std::memcpy(buffer, json.data(), n);
        buffer[n] = '\0';
    }
    return int(json.size());
}
