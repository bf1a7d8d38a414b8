#include "engine/cache/shared_text.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <ostream>
#include <unordered_map>

namespace hv {

struct SharedText::Entry {
  std::string text;
  // Reaches 0 only under the table's lock, where the entry leaves the table:
  // a holder copying needs no lock, nor does one letting go of a text others
  // still hold.
  std::atomic<std::size_t> holders{0};
};

namespace {

// A text is found in the table under its lock, and its last holder lets go
// under the same lock, so a text being found is never freed under the finder.
struct Table {
  std::mutex lock;
  std::unordered_map<std::string_view, std::unique_ptr<SharedText::Entry>> entries;  // keys view the entries' text
};

Table& TheTable() {
  static Table* table = new Table;  // never destroyed: records may outlive static destruction
  return *table;
}

const std::string& EmptyText() {
  static const std::string empty;
  return empty;
}

SharedText::Entry* Acquire(const std::string& text) {
  if (text.empty()) return nullptr;
  Table& table = TheTable();
  std::lock_guard guard(table.lock);
  auto it = table.entries.find(text);
  if (it == table.entries.end()) {
    auto entry = std::make_unique<SharedText::Entry>();
    entry->text = text;
    const std::string_view key = entry->text;
    it = table.entries.emplace(key, std::move(entry)).first;
  }
  it->second->holders.fetch_add(1, std::memory_order_relaxed);
  return it->second.get();
}

// The caller holds the text already, so it cannot go meanwhile.
void AddHolder(SharedText::Entry* entry) {
  if (entry) entry->holders.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

SharedText::SharedText(const std::string& text) : m_entry(Acquire(text)) {}

SharedText::SharedText(const SharedText& other) : m_entry(other.m_entry) { AddHolder(m_entry); }

SharedText& SharedText::operator=(const SharedText& other) {
  if (m_entry == other.m_entry) return *this;
  AddHolder(other.m_entry);
  Release();
  m_entry = other.m_entry;
  return *this;
}

SharedText& SharedText::operator=(SharedText&& other) noexcept {
  if (this == &other) return *this;
  Release();
  m_entry = other.m_entry;
  other.m_entry = nullptr;
  return *this;
}

SharedText& SharedText::operator=(const std::string& text) {
  Entry* entry = Acquire(text);
  Release();
  m_entry = entry;
  return *this;
}

SharedText::~SharedText() { Release(); }

void SharedText::Release() {
  Entry* entry = m_entry;
  if (!entry) return;
  m_entry = nullptr;
  std::size_t holders = entry->holders.load(std::memory_order_relaxed);
  while (holders > 1) {
    if (entry->holders.compare_exchange_weak(holders, holders - 1, std::memory_order_acq_rel)) return;
  }
  Table& table = TheTable();
  std::lock_guard guard(table.lock);
  if (entry->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) table.entries.erase(std::string_view(entry->text));
}

const std::string& SharedText::str() const { return m_entry ? m_entry->text : EmptyText(); }

std::size_t SharedText::DistinctCount() {
  Table& table = TheTable();
  std::lock_guard guard(table.lock);
  return table.entries.size();
}

std::ostream& operator<<(std::ostream& out, const SharedText& text) { return out << text.str(); }

}  // namespace hv
