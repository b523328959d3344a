// Signals present nothing on Linux: the library has no user interface, and a
// beep per bar edge or a modal box would stall a server host. Observers see
// them instead.
#include "platform/Signals.h"

namespace dv {

namespace detail {
SignalObserver* g_signalObserver = nullptr;
}

SignalObserver* SetSignalObserver(SignalObserver* observer) {
    SignalObserver* previous = detail::g_signalObserver;
    detail::g_signalObserver = observer;
    return previous;
}

void ShowMessage(const char* text, const char* caption, uint32_t type) {
    if (detail::g_signalObserver == nullptr) return;
    detail::g_signalObserver->OnMessage(text != nullptr ? text : "",
                                        caption != nullptr ? caption : "", type);
}

}  // namespace dv
