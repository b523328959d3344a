/* A stand-in outside library for the loader tests. On load it records the
 * "PATH" it saw in GW_FAKE_PATH_AT_LOAD ("(unset)" when there was none); on
 * unload it appends its tag to GW_FAKE_UNLOAD_LOG. Built with FAKE_J2K it also
 * exports the JPEG 2000 converter's entry points except
 * "GetBMPBufferSizeFromJ2KFileW", each refusing its work. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#define EXPORT __attribute__((visibility("default")))

__attribute__((constructor)) static void RecordPath(void) {
    const char* path = getenv("PATH");
    setenv("GW_FAKE_PATH_AT_LOAD", path ? path : "(unset)", 1);
}

__attribute__((destructor)) static void RecordUnload(void) {
    const char* log = getenv("GW_FAKE_UNLOAD_LOG");
    char text[256] = "";
    if (log && strlen(log) + sizeof FAKE_TAG < sizeof text) strcpy(text, log);
    strcat(text, FAKE_TAG);
    setenv("GW_FAKE_UNLOAD_LOG", text, 1);
}

#ifdef FAKE_J2K
EXPORT int32_t ConvertJ2KBufferToBMPBuffer(const uint8_t* d, uint32_t s, uint8_t* b, uint32_t n,
                                           int32_t r) {
    (void)d, (void)s, (void)b, (void)n, (void)r;
    return 0;
}
EXPORT int32_t ConvertJ2KFileToBMPBufferA(const char* p, uint8_t* b, uint32_t n, int32_t r) {
    (void)p, (void)b, (void)n, (void)r;
    return 0;
}
EXPORT int32_t ConvertJ2KFileToBMPBufferW(const wchar_t* p, uint8_t* b, uint32_t n, int32_t r) {
    (void)p, (void)b, (void)n, (void)r;
    return 0;
}
EXPORT int32_t GetBMPBufferSizeFromJ2KBuffer(const uint8_t* d, uint32_t s, uint32_t* n) {
    (void)d, (void)s, (void)n;
    return 0;
}
EXPORT int32_t GetBMPBufferSizeFromJ2KFileA(const char* p, uint32_t* n) {
    (void)p, (void)n;
    return 0;
}
#endif
