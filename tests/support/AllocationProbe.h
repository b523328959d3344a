// The largest single allocation made while a probe is alive, seen through the
// sanitizer's allocation hook, so a test can show that a decoder refuses a
// huge declared image before allocating for it. Without the sanitizer
// runtime (a build without GW_SANITIZE) the probe is not available.
#pragma once

#include <atomic>
#include <cstddef>

extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             size_t),
                                                         void (*free_hook)(const volatile void*))
    __attribute__((weak));

namespace gwtest {

class AllocationProbe {
  public:
    AllocationProbe() {
        static const bool installed = __sanitizer_install_malloc_and_free_hooks &&
                                      __sanitizer_install_malloc_and_free_hooks(Record, Ignore);
        available_ = installed;
        Largest().store(0);
    }
    /// False when the hook could not be installed.
    bool Available() const { return available_; }
    /// Bytes of the largest allocation since the probe was made.
    size_t LargestBytes() const { return Largest().load(); }

  private:
    static std::atomic<size_t>& Largest() {
        static std::atomic<size_t> largest{0};
        return largest;
    }
    static void Record(const volatile void*, size_t bytes) {
        size_t seen = Largest().load();
        while (bytes > seen && !Largest().compare_exchange_weak(seen, bytes)) {
        }
    }
    static void Ignore(const volatile void*) {}  // the hook pair needs both
    bool available_ = false;
};

}  // namespace gwtest
