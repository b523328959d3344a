#include "Mrz.h"

namespace gwtool {

const char* MrzFormatName(MrzFormat format) {
    switch (format) {
        case MrzFormat::TD1:
            return "TD1";
        case MrzFormat::TD2:
            return "TD2";
        case MrzFormat::TD3:
            return "TD3";
        case MrzFormat::MRVA:
            return "MRV-A";
        case MrzFormat::MRVB:
            return "MRV-B";
    }
    return "?";
}

MrzFormat MrzFormatFromName(const std::string& name) {
    for (MrzFormat f : {MrzFormat::TD1, MrzFormat::TD2, MrzFormat::MRVA, MrzFormat::MRVB})
        if (name == MrzFormatName(f)) return f;
    return MrzFormat::TD3;
}

}  // namespace gwtool
