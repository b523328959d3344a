// The two signals the library gives the user: a beep at every bar and space
// boundary of a barcode scan, and a message box with the bar count before a
// Code 128 decoding. On Linux they present nothing; a test (or a host tool)
// may install an observer that sees every signal.
#pragma once

#include <cstdint>

namespace dv {

/// Receives every signal while installed.
class SignalObserver {
  public:
    virtual ~SignalObserver() = default;
    /// A beep of frequency hertz for duration milliseconds.
    virtual void OnBeep(uint32_t frequency, uint32_t duration) = 0;
    /// A message box with text and caption; type holds the platform's button
    /// flags (1: OK and Cancel). The answer is ignored by the library.
    virtual void OnMessage(const char* text, const char* caption, uint32_t type) = 0;
};

namespace detail {
extern SignalObserver* g_signalObserver;
}

/// Installs observer (null removes it) and returns the one it replaces.
/// The observer must outlive its installation.
SignalObserver* SetSignalObserver(SignalObserver* observer);

/// True while an observer is installed.
inline bool SignalsObserved() {
    return detail::g_signalObserver != nullptr;
}

/// Signals a beep. Inline: the scan calls it at every run boundary.
inline void Beep(uint32_t frequency, uint32_t duration) {
    if (detail::g_signalObserver != nullptr) detail::g_signalObserver->OnBeep(frequency, duration);
}

/// Presents text under caption and returns when it is dismissed; without an
/// observer nothing is presented. Null text or caption read as empty.
void ShowMessage(const char* text, const char* caption, uint32_t type);

}  // namespace dv
