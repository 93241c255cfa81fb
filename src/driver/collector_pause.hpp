// Pauses Python's cyclic garbage collector for a scope. Building many result
// records creates millions of containers; without a pause the collector would
// run over and over during the build. None of them can form a cycle, so
// nothing is lost by collecting afterwards.
//
// The collector is process-wide: other threads run while this one waits for
// the server, and their garbage must still be collected then. A wait under a
// pause therefore switches the collector on again for its duration
// (CollectorResume), and a pause gives up its claim when it finds the
// collector switched off by someone else after a wait: that choice stands.
#pragma once

#include <Python.h>

namespace nelvor::driver {

class CollectorResume;

class CollectorPause {
public:
    // With the GIL held, as the destructor.
    CollectorPause() : owns_(PyGC_Disable() == 1) {
        if (owns_) {
            outer_ = owning_;
            owning_ = this;
            registered_ = true;
        }
    }
    ~CollectorPause() {
        if (!registered_) return;
        owning_ = outer_;
        if (owns_) PyGC_Enable();
    }
    CollectorPause(const CollectorPause&) = delete;
    CollectorPause& operator=(const CollectorPause&) = delete;

private:
    friend class CollectorResume;

    // The innermost pause of this thread that switched the collector off.
    static inline thread_local CollectorPause* owning_ = nullptr;

    bool owns_;
    bool registered_ = false;
    CollectorPause* outer_ = nullptr;
};

// Around a wait for the server, with the GIL held at both ends: the collector
// runs again while this thread waits, if this thread's pause had stopped it.
class CollectorResume {
public:
    CollectorResume() : pause_(CollectorPause::owning_) {
        if (pause_ != nullptr && pause_->owns_) {
            PyGC_Enable();
        } else {
            pause_ = nullptr;
        }
    }
    ~CollectorResume() {
        // Switched off meanwhile by another thread: it stays off at the end.
        if (pause_ != nullptr && PyGC_Disable() == 0) pause_->owns_ = false;
    }
    CollectorResume(const CollectorResume&) = delete;
    CollectorResume& operator=(const CollectorResume&) = delete;

private:
    CollectorPause* pause_;
};

}  // namespace nelvor::driver
