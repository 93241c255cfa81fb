#include "driver/notices.hpp"

namespace nelvor::driver {

void NoticeBuffer::receive(void* buffer, const char* message) {
    auto& self = *static_cast<NoticeBuffer*>(buffer);
    std::lock_guard guard(self.mutex_);
    self.arrived_.emplace_back(message);
    if (self.arrived_.size() > kMaxNotices) self.arrived_.pop_front();
}

void NoticeBuffer::drain_into(nb::list& notices) {
    std::deque<std::string> arrived;
    {
        std::lock_guard guard(mutex_);
        arrived.swap(arrived_);
    }
    for (const std::string& message : arrived) {
        nb::object text = nb::steal(
            PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
        if (!text.is_valid()) throw nb::python_error();
        notices.append(text);
    }
    const Py_ssize_t excess = static_cast<Py_ssize_t>(nb::len(notices)) - static_cast<Py_ssize_t>(kMaxNotices);
    if (excess > 0 && PyList_SetSlice(notices.ptr(), 0, excess, nullptr) != 0) throw nb::python_error();
}

}  // namespace nelvor::driver
