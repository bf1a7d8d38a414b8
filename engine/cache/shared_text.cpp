#include "engine/cache/shared_text.h"

#include <memory>
#include <mutex>
#include <ostream>
#include <unordered_map>

namespace hv {

struct SharedText::Entry {
  std::string text;
  std::size_t holders = 0;
};

namespace {

// Every holder's count changes under one lock: a text found in the table
// while its last holder lets go must not be freed under the finder.
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
  ++it->second->holders;
  return it->second.get();
}

void AddHolder(SharedText::Entry* entry) {
  if (!entry) return;
  Table& table = TheTable();
  std::lock_guard guard(table.lock);
  ++entry->holders;
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
  if (!m_entry) return;
  Table& table = TheTable();
  std::lock_guard guard(table.lock);
  if (--m_entry->holders == 0) table.entries.erase(std::string_view(m_entry->text));
  m_entry = nullptr;
}

const std::string& SharedText::str() const { return m_entry ? m_entry->text : EmptyText(); }

std::size_t SharedText::DistinctCount() {
  Table& table = TheTable();
  std::lock_guard guard(table.lock);
  return table.entries.size();
}

std::ostream& operator<<(std::ostream& out, const SharedText& text) { return out << text.str(); }

}  // namespace hv
