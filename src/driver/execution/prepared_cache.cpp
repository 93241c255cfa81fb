#include "driver/execution/prepared_cache.hpp"

#include <cstdio>
#include <functional>
#include <random>

namespace nelvor::driver {

namespace {

constexpr size_t kUsageCapacity = 4 * PreparedCache::kCapacity;

std::string random_name_prefix() {
    std::random_device device;
    const uint64_t token = (static_cast<uint64_t>(device()) << 32) | device();
    char prefix[32];
    std::snprintf(prefix, sizeof(prefix), "_nelvor_%016llx_", static_cast<unsigned long long>(token));
    return prefix;
}

}  // namespace

PreparedCache::PreparedCache(std::optional<int> threshold)
    : threshold_(threshold), usage_(kUsageCapacity), prepared_(kCapacity), name_prefix_(random_name_prefix()) {}

bool PreparedCache::count_execution(uint64_t hash) {
    if (!threshold_) return false;
    Usage& usage = usage_.find_or_add(hash);
    if (usage.refused) return false;
    if (usage.executions <= *threshold_) ++usage.executions;
    return usage.executions > *threshold_;
}

void PreparedCache::refuse(uint64_t text_hash) { usage_.put(text_hash, Usage{0, true}); }

const std::string* PreparedCache::find(const std::string& key) { return prepared_.find(key); }

std::string PreparedCache::new_name() { return name_prefix_ + std::to_string(++names_made_); }

void PreparedCache::retire(std::pair<std::string, std::string> entry) {
    prepared_bytes_ -= entry.first.size();
    stale_.push_back(std::move(entry.second));
}

void PreparedCache::add(const std::string& key, std::string name) {
    prepared_bytes_ += key.size();
    if (auto evicted = prepared_.put(key, std::move(name))) retire(std::move(*evicted));
    while (prepared_bytes_ > kTextBudget && prepared_.size() > 1) retire(std::move(*prepared_.pop_oldest()));
}

void PreparedCache::forget(const std::string& key) {
    if (auto name = prepared_.erase(key)) {
        prepared_bytes_ -= key.size();
        stale_.push_back(std::move(*name));
    }
}

void PreparedCache::forget_all() {
    prepared_.clear();
    prepared_bytes_ = 0;
    stale_.clear();
}

void PreparedCache::retire_all() {
    prepared_.for_each([this](const std::string&, const std::string& name) { stale_.push_back(name); });
    prepared_.clear();
    prepared_bytes_ = 0;
}

std::vector<std::string> PreparedCache::take_stale() {
    std::vector<std::string> names;
    names.swap(stale_);
    return names;
}

}  // namespace nelvor::driver
