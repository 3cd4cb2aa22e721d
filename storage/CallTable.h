// The table of system calls in force, which a test may swap for its lifetime: one for each system's
// storage code (StorageSystem.h, StorageSystem_posix.h). Production code never swaps it.
#pragma once

#include <atomic>

namespace vesko {

template <typename Calls> class CallTable {
  public:
    explicit CallTable(const Calls& real) : real_(real), active_(&real_) {}

    const Calls& real() const { return real_; }
    // The start-up scan may read the table on its own thread while a conversion reads it on another.
    const Calls& active() const { return *active_.load(std::memory_order_acquire); }
    const Calls* exchange(const Calls* calls) { return active_.exchange(calls, std::memory_order_acq_rel); }
    void restore(const Calls* previous) { active_.store(previous, std::memory_order_release); }

  private:
    const Calls& real_;
    std::atomic<const Calls*> active_;
};

// Test-only: replaces the table for its lifetime and restores the previous one afterwards. The system's
// header declares `CallTable<Calls>& StorageCallTable(const Calls*)`, found here by argument type.
template <typename Calls> class ScopedCallsOverride {
  public:
    explicit ScopedCallsOverride(const Calls& calls)
        : calls_(calls), previous_(StorageCallTable(static_cast<const Calls*>(nullptr)).exchange(&calls_)) {}
    ~ScopedCallsOverride() { StorageCallTable(static_cast<const Calls*>(nullptr)).restore(previous_); }
    ScopedCallsOverride(const ScopedCallsOverride&) = delete;
    ScopedCallsOverride& operator=(const ScopedCallsOverride&) = delete;

  private:
    Calls calls_;
    const Calls* previous_;
};

} // namespace vesko
