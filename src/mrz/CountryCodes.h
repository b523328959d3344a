// The three-character codes a zone's issuing state and nationality may hold:
// the ISO 3166-1 alpha-3 country codes and the codes ICAO adds for travel
// documents (D<< for Germany, the British, United Nations and stateless
// codes, UTO of the specimen state).
#pragma once

#include <algorithm>
#include <array>
#include <string_view>

namespace gw::mrz {

inline constexpr std::array<std::string_view, 276> kCountryCodes = {
    "ABW", "AFG", "AGO", "AIA", "ALA", "ALB", "AND", "ARE", "ARG", "ARM", "ASM", "ATA", "ATF",
    "ATG", "AUS", "AUT", "AZE", "BDI", "BEL", "BEN", "BES", "BFA", "BGD", "BGR", "BHR", "BHS",
    "BIH", "BLM", "BLR", "BLZ", "BMU", "BOL", "BRA", "BRB", "BRN", "BTN", "BVT", "BWA", "CAF",
    "CAN", "CCK", "CHE", "CHL", "CHN", "CIV", "CMR", "COD", "COG", "COK", "COL", "COM", "CPV",
    "CRI", "CUB", "CUW", "CXR", "CYM", "CYP", "CZE", "D<<", "DEU", "DJI", "DMA", "DNK", "DOM",
    "DZA", "ECU", "EGY", "ERI", "ESH", "ESP", "EST", "ETH", "EUE", "FIN", "FJI", "FLK", "FRA",
    "FRO", "FSM", "GAB", "GBD", "GBN", "GBO", "GBP", "GBR", "GBS", "GEO", "GGY", "GHA", "GIB",
    "GIN", "GLP", "GMB", "GNB", "GNQ", "GRC", "GRD", "GRL", "GTM", "GUF", "GUM", "GUY", "HKG",
    "HMD", "HND", "HRV", "HTI", "HUN", "IDN", "IMN", "IND", "IOT", "IRL", "IRN", "IRQ", "ISL",
    "ISR", "ITA", "JAM", "JEY", "JOR", "JPN", "KAZ", "KEN", "KGZ", "KHM", "KIR", "KNA", "KOR",
    "KWT", "LAO", "LBN", "LBR", "LBY", "LCA", "LIE", "LKA", "LSO", "LTU", "LUX", "LVA", "MAC",
    "MAF", "MAR", "MCO", "MDA", "MDG", "MDV", "MEX", "MHL", "MKD", "MLI", "MLT", "MMR", "MNE",
    "MNG", "MNP", "MOZ", "MRT", "MSR", "MTQ", "MUS", "MWI", "MYS", "MYT", "NAM", "NCL", "NER",
    "NFK", "NGA", "NIC", "NIU", "NLD", "NOR", "NPL", "NRU", "NZL", "OMN", "PAK", "PAN", "PCN",
    "PER", "PHL", "PLW", "PNG", "POL", "PRI", "PRK", "PRT", "PRY", "PSE", "PYF", "QAT", "REU",
    "RKS", "ROU", "RUS", "RWA", "SAU", "SDN", "SEN", "SGP", "SGS", "SHN", "SJM", "SLB", "SLE",
    "SLV", "SMR", "SOM", "SPM", "SRB", "SSD", "STP", "SUR", "SVK", "SVN", "SWE", "SWZ", "SXM",
    "SYC", "SYR", "TCA", "TCD", "TGO", "THA", "TJK", "TKL", "TKM", "TLS", "TON", "TTO", "TUN",
    "TUR", "TUV", "TWN", "TZA", "UGA", "UKR", "UMI", "UNA", "UNK", "UNO", "URY", "USA", "UTO",
    "UZB", "VAT", "VCT", "VEN", "VGB", "VIR", "VNM", "VUT", "WLF", "WSM", "XBA", "XCC", "XCE",
    "XCO", "XEC", "XES", "XIM", "XMP", "XOM", "XPO", "XSC", "XXA", "XXB", "XXC", "XXX", "YEM",
    "ZAF", "ZMB", "ZWE",
};
static_assert(std::is_sorted(kCountryCodes.begin(), kCountryCodes.end()),
              "looked up by binary search");

/// Whether code (three characters, fillers as "<") is a known state code.
inline bool IsCountryCode(std::string_view code) {
    return std::binary_search(kCountryCodes.begin(), kCountryCodes.end(), code);
}

}  // namespace gw::mrz
