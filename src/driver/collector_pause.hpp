// Pauses Python's cyclic garbage collector for a scope. Building many result
// records creates millions of containers; without a pause the collector would
// run over and over during the build. None of them can form a cycle, so
// nothing is lost by collecting afterwards.
#pragma once

#include <Python.h>

namespace nelvor::driver {

class CollectorPause {
public:
    CollectorPause() : was_enabled_(PyGC_Disable()) {}
    ~CollectorPause() {
        if (was_enabled_ == 1) PyGC_Enable();
    }
    CollectorPause(const CollectorPause&) = delete;
    CollectorPause& operator=(const CollectorPause&) = delete;

private:
    int was_enabled_;
};

}  // namespace nelvor::driver
