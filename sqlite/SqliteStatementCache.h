#pragma once
// Prepared statements of one connection, kept by their text so that a statement run again and
// again is parsed once. A statement is handed out for one use and comes back when the handle
// goes: reset, its values cleared. A second use of the same text while the first is still out
// (a nested reader) gets a statement of its own.
#include "sqlite/SqliteStatement.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

class CSqliteDB;

class CSqliteCachedStatement;

class CSqliteStatementCache {
public:
    // Statements kept idle at most; one handed back to a full cache takes the place of another.
    static constexpr size_t kMaxIdle = 128;

    CSqliteStatementCache() = default;
    CSqliteStatementCache(const CSqliteStatementCache&) = delete;
    CSqliteStatementCache& operator=(const CSqliteStatementCache&) = delete;

    // The cached statement for `sql` on `db`, prepared on first use; a failure is thrown.
    CSqliteCachedStatement Acquire(CSqliteDB& db, const std::u16string& sql);
    // Finalizes every idle statement; those still out are finalized when they come back.
    // Needed before the connection closes.
    void Clear();
    size_t IdleCount() const { return m_state->idle.size(); }

private:
    friend class CSqliteCachedStatement;
    // Statement texts run to a few thousand characters (an insert of every column), and a use
    // looks its text up twice: the hash takes the length and both ends only, the comparison
    // compares memory. Texts alike at both ends still differ by the comparison.
    struct STextHash {
        size_t operator()(const std::u16string& sql) const noexcept;
    };
    struct STextEqual {
        bool operator()(const std::u16string& a, const std::u16string& b) const noexcept;
    };
    using Map = std::unordered_map<std::u16string, CSqliteStatement, STextHash, STextEqual>;
    struct SState {
        Map idle;
        uint64_t generation = 0; // raised by Clear: statements of an earlier one never return
    };
    std::shared_ptr<SState> m_state = std::make_shared<SState>();
};

// One use of a cached statement.
class CSqliteCachedStatement {
public:
    CSqliteCachedStatement(CSqliteCachedStatement&&) noexcept = default;
    CSqliteCachedStatement& operator=(CSqliteCachedStatement&&) = delete;
    CSqliteCachedStatement(const CSqliteCachedStatement&) = delete;
    CSqliteCachedStatement& operator=(const CSqliteCachedStatement&) = delete;
    ~CSqliteCachedStatement();

    CSqliteStatement& operator*() { return m_node.mapped(); }
    CSqliteStatement* operator->() { return &m_node.mapped(); }
    const CSqliteStatement& operator*() const { return m_node.mapped(); }
    const CSqliteStatement* operator->() const { return &m_node.mapped(); }

private:
    friend class CSqliteStatementCache;
    CSqliteCachedStatement(CSqliteStatementCache::Map::node_type node, std::weak_ptr<CSqliteStatementCache::SState> cache,
                           uint64_t generation);

    CSqliteStatementCache::Map::node_type m_node;
    std::weak_ptr<CSqliteStatementCache::SState> m_cache;
    uint64_t m_generation = 0;
};
