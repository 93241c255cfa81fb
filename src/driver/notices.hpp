#pragma once
// Messages the server sends besides results (RAISE NOTICE, warnings), kept
// for Python's `connection.notices` as psycopg2 keeps them: the last 50, each
// as libpq words it ("NOTICE:  text\n").
#include <nanobind/nanobind.h>

#include <deque>
#include <mutex>
#include <string>

namespace nelvor::driver {

namespace nb = nanobind;

class NoticeBuffer {
public:
    static constexpr size_t kMaxNotices = 50;

    // libpq's notice processor, `buffer` a NoticeBuffer. Runs while a
    // statement waits without the GIL, so it keeps C++ strings only.
    static void receive(void* buffer, const char* message);
    // Appends what arrived to `notices` and trims the list to its last
    // kMaxNotices items. GIL held.
    void drain_into(nb::list& notices);

private:
    std::mutex mutex_;
    std::deque<std::string> arrived_;
};

}  // namespace nelvor::driver
