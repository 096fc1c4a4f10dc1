#include "sqlite/SqliteStatementCache.h"

#include <cstring>
#include <string_view>
#include <utility>

size_t CSqliteStatementCache::STextHash::operator()(const std::u16string& sql) const noexcept
{
    constexpr size_t kEnd = 16;
    const std::u16string_view text(sql);
    if (text.size() <= 2 * kEnd)
        return std::hash<std::u16string_view>{}(text);
    const size_t head = std::hash<std::u16string_view>{}(text.substr(0, kEnd));
    const size_t tail = std::hash<std::u16string_view>{}(text.substr(text.size() - kEnd));
    return head ^ (tail + 0x9e3779b97f4a7c15ULL + (head << 6) + (head >> 2)) ^ text.size();
}

bool CSqliteStatementCache::STextEqual::operator()(const std::u16string& a, const std::u16string& b) const noexcept
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
}

CSqliteCachedStatement CSqliteStatementCache::Acquire(CSqliteDB& db, const std::u16string& sql)
{
    Map& idle = m_state->idle;
    auto found = idle.find(sql);
    if (found == idle.end()) {
        CSqliteStatement prepared(db, sql);
        found = idle.emplace(sql, std::move(prepared)).first;
    }
    return CSqliteCachedStatement(idle.extract(found), m_state, m_state->generation);
}

void CSqliteStatementCache::Clear()
{
    m_state->idle.clear();
    ++m_state->generation;
}

CSqliteCachedStatement::CSqliteCachedStatement(CSqliteStatementCache::Map::node_type node,
                                               std::weak_ptr<CSqliteStatementCache::SState> cache, uint64_t generation)
    : m_node(std::move(node)), m_cache(std::move(cache)), m_generation(generation)
{
}

CSqliteCachedStatement::~CSqliteCachedStatement()
{
    if (m_node.empty())
        return; // handed over
    m_node.mapped().Reset();
    m_node.mapped().ClearBindings();
    const std::shared_ptr<CSqliteStatementCache::SState> cache = m_cache.lock();
    if (cache == nullptr || cache->generation != m_generation)
        return; // the node finalizes its statement
    // A full cache makes room: were the statement coming back turned away instead, a cache
    // filled once with statements that never run again would prepare every other one anew.
    if (cache->idle.size() >= CSqliteStatementCache::kMaxIdle && cache->idle.count(m_node.key()) == 0)
        cache->idle.erase(cache->idle.begin());
    // An idle statement of the same text (a nested use came back first) stays; this one goes.
    try {
        cache->idle.insert(std::move(m_node));
    } catch (...) {
        // No room for it (rehashing failed): the node finalizes its statement.
    }
}
