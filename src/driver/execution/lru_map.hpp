#pragma once
// A map that keeps at most `capacity` entries and drops the least recently
// used one beyond that.
#include <cstddef>
#include <list>
#include <optional>
#include <unordered_map>
#include <utility>

namespace nelvor::driver {

template <class Key, class Value>
class LruMap {
public:
    explicit LruMap(size_t capacity) : capacity_(capacity) {}

    // The entry of `key`, made the most recently used, or nullptr.
    Value* find(const Key& key) {
        auto found = index_.find(key);
        if (found == index_.end()) return nullptr;
        order_.splice(order_.begin(), order_, found->second);
        return &found->second->second;
    }

    // The entry of `key`, made the most recently used; a default one is
    // added first when there is none (dropping the least recently used).
    Value& find_or_add(const Key& key) {
        if (Value* known = find(key)) return *known;
        put(key, Value{});
        return order_.front().second;
    }

    // Adds or replaces the entry; returns the entry that had to leave, if any.
    std::optional<std::pair<Key, Value>> put(const Key& key, Value value) {
        if (Value* known = find(key)) {
            *known = std::move(value);
            return std::nullopt;
        }
        order_.emplace_front(key, std::move(value));
        index_.emplace(key, order_.begin());
        if (order_.size() <= capacity_) return std::nullopt;
        std::pair<Key, Value> evicted = std::move(order_.back());
        index_.erase(evicted.first);
        order_.pop_back();
        return evicted;
    }

    // Removes and returns the least recently used entry, if any.
    std::optional<std::pair<Key, Value>> pop_oldest() {
        if (order_.empty()) return std::nullopt;
        std::pair<Key, Value> oldest = std::move(order_.back());
        index_.erase(oldest.first);
        order_.pop_back();
        return oldest;
    }

    std::optional<Value> erase(const Key& key) {
        auto found = index_.find(key);
        if (found == index_.end()) return std::nullopt;
        Value value = std::move(found->second->second);
        order_.erase(found->second);
        index_.erase(found);
        return value;
    }

    template <class Visit>
    void for_each(Visit&& visit) const {
        for (const auto& [key, value] : order_) visit(key, value);
    }

    void clear() {
        index_.clear();
        order_.clear();
    }
    size_t size() const { return order_.size(); }

private:
    using Order = std::list<std::pair<Key, Value>>;
    size_t capacity_;
    Order order_;
    std::unordered_map<Key, typename Order::iterator> index_;
};

}  // namespace nelvor::driver
