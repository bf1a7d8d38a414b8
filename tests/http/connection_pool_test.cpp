// Which idle connection a worker gets back, and which ones are closed.
#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "engine/http/connection_pool.h"

namespace {

using Pool = ConnectionPool;

// A stream that only notes that it was closed.
class FakeStream : public hv::net::ByteStream {
 public:
  FakeStream(int id, std::set<int>& closed) : m_id(id), m_closed(closed) {}
  bool SendAll(const char*, std::size_t) override { return true; }
  long Receive(char*, std::size_t, int) override { return 0; }
  void ShutdownSend() override {}
  bool Close() override {
    m_closed.insert(m_id);
    return true;
  }
  void CloseHard() override { Close(); }
  bool IsOpen() const override { return m_closed.count(m_id) == 0; }
  int LastError() const override { return 0; }

 private:
  int m_id;
  std::set<int>& m_closed;
};

Pool::Destination Server(int n, const std::string& scheme = "http") {
  return {scheme, "h" + std::to_string(n), 80, ""};
}

TEST(ConnectionPool, a_worker_gets_back_only_its_own_young_connection_to_the_same_server) {
  std::set<int> closed;
  Pool pool;
  const auto start = Pool::Clock::now();
  auto give = [&](int id, int worker, const Pool::Destination& to, Pool::Clock::duration at = {}) {
    pool.GiveBack(worker, to, {std::make_unique<FakeStream>(id, closed), id}, start + at);
  };
  auto take = [&](int worker, const Pool::Destination& to, Pool::Clock::duration at = {}) {
    return pool.Take(worker, to, start + at).fd;
  };
  give(1, 0, Server(1));
  EXPECT_EQ(take(1, Server(1)), -1);  // another worker's
  EXPECT_EQ(take(0, Server(1, "https")), -1);
  EXPECT_EQ(take(0, {"http", "h1", 80, "http://proxy:3128/"}), -1);
  EXPECT_EQ(take(0, Server(1)), 1);
  EXPECT_EQ(take(0, Server(1)), -1);  // taken

  give(2, 0, Server(1));
  give(3, 0, Server(1));  // one per server: the older goes
  EXPECT_EQ(closed, std::set<int>{2});
  EXPECT_EQ(take(0, Server(1), Pool::kMaxIdleTime), -1);  // idle too long
  EXPECT_EQ(closed, (std::set<int>{2, 3}));

  // A few per worker: the longest idle goes first.
  for (int n = 0; n <= static_cast<int>(Pool::kMaxIdlePerWorker); ++n) give(10 + n, 0, Server(n));
  give(30, 1, Server(0));
  EXPECT_EQ(closed, (std::set<int>{2, 3, 10}));
  EXPECT_EQ(pool.IdleCount(), Pool::kMaxIdlePerWorker + 1);
  pool.CloseAll();
  EXPECT_EQ(pool.IdleCount(), 0u);
  EXPECT_EQ(closed.size(), 3 + Pool::kMaxIdlePerWorker + 1);
}

}  // namespace
