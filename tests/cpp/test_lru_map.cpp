// The LRU map bounds the prepared statements, statement shapes and per-text
// choices a connection keeps: it must drop the least recently used entry and
// hand it back (a prepared name to deallocate), and never lose another.
#include <string>

#include "check.hpp"
#include "driver/execution/lru_map.hpp"

using nelvor::driver::LruMap;

namespace {

void eviction_follows_use() {
    LruMap<std::string, int> map(2);
    CHECK(!map.put("a", 1));
    CHECK(!map.put("b", 2));
    CHECK(map.find("a") != nullptr);  // "b" is now the oldest
    auto evicted = map.put("c", 3);
    CHECK(evicted && evicted->first == "b" && evicted->second == 2);
    CHECK(map.size() == 2 && map.find("b") == nullptr);
    CHECK(*map.find("a") == 1 && *map.find("c") == 3);
}

void replacing_keeps_the_size() {
    LruMap<std::string, int> map(2);
    map.put("a", 1);
    map.put("b", 2);
    CHECK(!map.put("a", 10));  // replaced, nothing leaves
    CHECK(map.size() == 2 && *map.find("a") == 10);
    auto evicted = map.put("c", 3);  // "b" was used least recently
    CHECK(evicted && evicted->first == "b");
}

void find_or_add_and_erase() {
    LruMap<int, int> map(2);
    map.find_or_add(1) = 5;
    CHECK(map.find_or_add(1) == 5);
    map.find_or_add(2);
    map.find_or_add(3);  // drops 1
    CHECK(map.find(1) == nullptr && map.size() == 2);
    CHECK(map.erase(2) == 0 && !map.erase(2));
    CHECK(map.size() == 1);
}

void oldest_first_and_clear() {
    LruMap<int, int> map(3);
    for (int key : {1, 2, 3}) map.put(key, key * 10);
    map.find(1);
    std::string order;
    map.for_each([&](int key, int) { order += std::to_string(key); });
    CHECK(order == "132");  // most recently used first
    auto oldest = map.pop_oldest();
    CHECK(oldest && oldest->first == 2);
    map.clear();
    CHECK(map.size() == 0 && !map.pop_oldest());
    CHECK(!map.put(4, 40) && map.size() == 1);  // usable after clear
}

}  // namespace

int main() {
    eviction_follows_use();
    replacing_keeps_the_size();
    find_or_add_and_erase();
    oldest_first_and_clear();
    return check::failures;
}
