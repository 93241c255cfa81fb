#pragma once
// Per connection: which statement texts run often enough to be prepared, and
// the server-side names of the prepared ones. Names that the server may still
// hold but this cache no longer uses wait in a list until it is safe to send
// DEALLOCATE for them (outside a transaction).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/execution/lru_map.hpp"

namespace nelvor::driver {

class PreparedCache {
public:
    static constexpr size_t kCapacity = 100;
    // Bulk statements can be large, and so are their plans on the server:
    // beyond this many bytes of statement text the oldest are dropped too.
    static constexpr size_t kTextBudget = 8 << 20;

    // `threshold`: executions of a text before it is prepared (0: at once);
    // nullopt: never prepare.
    explicit PreparedCache(std::optional<int> threshold);

    bool enabled() const { return threshold_.has_value(); }
    std::optional<int> threshold() const { return threshold_; }

    // Counts one execution of the text with hash `text_hash`; true when it
    // should run prepared.
    bool count_execution(uint64_t text_hash);
    // The server would not prepare the text: it runs with literals from now on.
    void refuse(uint64_t text_hash);

    // The name `key` is prepared under (made the most recently used), or nullptr.
    const std::string* find(const std::string& key);
    // A fresh statement name for `key`, to be confirmed by `add` once prepared.
    std::string new_name();
    void add(const std::string& key, std::string name);
    // The server no longer accepts the statement of `key` (e.g. its table changed).
    void forget(const std::string& key);
    // After DISCARD ALL / DEALLOCATE ALL, or when the connection closes.
    void forget_all();
    // After a schema change: statements are prepared anew, the old ones deallocated.
    void retire_all();

    // A name that may or may not have been prepared (the outcome was lost).
    void mark_stale(std::string name) { stale_.push_back(std::move(name)); }
    bool has_stale() const { return !stale_.empty(); }
    std::vector<std::string> take_stale();

private:
    struct Usage {
        int executions = 0;
        bool refused = false;
    };

    std::optional<int> threshold_;
    LruMap<uint64_t, Usage> usage_;  // by the text's hash: counting needs no exact key
    LruMap<std::string, std::string> prepared_;
    size_t prepared_bytes_ = 0;  // the keys' lengths added up
    std::vector<std::string> stale_;
    // Names are unique to this connection object: behind a transaction
    // pooler another client's statement of the same name may sit on the
    // server connection, and running it must fail rather than run a stranger.
    std::string name_prefix_;
    uint64_t names_made_ = 0;

    void retire(std::pair<std::string, std::string> entry);
};

}  // namespace nelvor::driver
