// The export macro of the Glyphwick library: symbols marked GW_API are the
// library's interface; everything else is hidden when the library is built.
#ifndef GLYPHWICK_GLYPHWICKEXPORT_H
#define GLYPHWICK_GLYPHWICKEXPORT_H

#if defined(GW_BUILDING_LIBRARY)
#define GW_API __attribute__((visibility("default")))
#else
#define GW_API
#endif

#endif  // GLYPHWICK_GLYPHWICKEXPORT_H
