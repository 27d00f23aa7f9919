#pragma once
// Marks a stretch of calls into the system's graphics driver (or font
// lookup) whose own allocations live until the process ends (the driver
// keeps caches and options it never frees); the leak checker of sanitizer
// builds skips them.
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace plat {

class [[maybe_unused]] DriverAllocations {
public:
#if defined(__SANITIZE_ADDRESS__)
    DriverAllocations() { __lsan_disable(); }
    ~DriverAllocations() { __lsan_enable(); }
#else
    DriverAllocations() = default;
#endif
    DriverAllocations(const DriverAllocations&) = delete;
    DriverAllocations& operator=(const DriverAllocations&) = delete;
};

}  // namespace plat
