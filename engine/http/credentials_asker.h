// Asks the user for the credentials of a realm on a thread of its own, one
// question at a time. A transfer that needs an answer ends instead of
// waiting, so no worker and no lock is held while the user types; the
// location waits with its claim on the realm alone, and hears the answer
// afterwards with its own lock held.
//
// Locks: a waiter's lock is taken before the asker's, never after, and the
// asker's is never held while a waiter, the prompt or Settled is called.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class CRealm;

class CCredentialsAsker {
 public:
  enum class Answer {
    confirmed,  // the realm holds the user's new credentials
    cancelled,  // the user gave up, or nobody could answer
    dropped,    // the run stopped before an answer came
  };
  // A location waiting for an answer.
  class Waiter {
   public:
    // Called with the waiter's lock held, once per question asked.
    virtual void OnCredentialsAnswered(Answer answer, CRealm& realm) = 0;

   protected:
    ~Waiter() = default;
  };

  // settled is told, with no asker lock held, each time the last question
  // still waited for is settled.
  explicit CCredentialsAsker(std::function<void()> settled);
  ~CCredentialsAsker();
  CCredentialsAsker(const CCredentialsAsker&) = delete;
  CCredentialsAsker& operator=(const CCredentialsAsker&) = delete;

  // Queues the question of the realm for the page at url; the waiter's
  // answer comes later, on the asking thread, under waiterLock. False, and
  // nothing queued, when no front end can ask.
  bool Ask(std::shared_ptr<CRealm> realm, std::string url, Waiter* waiter, std::recursive_mutex& waiterLock);
  // The waiter is going away (its lock held): it hears nothing more, and a
  // question of its being shown is withdrawn.
  void Forget(Waiter* waiter);
  // The run ended: every waiter hears dropped, the question shown is withdrawn.
  void DropAll();
  // Whether a question is still waited for.
  bool Pending();

 private:
  struct Question {
    std::shared_ptr<CRealm> realm;
    std::string url;
    Waiter* waiter;  // null once forgotten or answered; under the asker's lock
    std::recursive_mutex* waiterLock;
    std::shared_ptr<std::atomic<bool>> withdrawn = std::make_shared<std::atomic<bool>>(false);
  };
  // Shared with the asking thread, which may still be inside a prompt
  // nobody waits for when the process ends.
  struct State {
    std::mutex mutex;
    std::deque<std::shared_ptr<Question>> queue;
    std::shared_ptr<Question> shown;  // being asked now
    int waiting = 0;                   // questions whose waiter is still set
    bool asking = false;               // the asking thread runs
    std::function<void()> settled;
  };

  static void AskInTurn(const std::shared_ptr<State>& state);
  // Takes the question's waiter under the asker's lock; true when this was
  // the last question waited for.
  static Waiter* TakeWaiterLocked(State& state, Question& question, bool& last);
  static void Deliver(const std::shared_ptr<State>& state, Question& question, Answer answer);

  std::shared_ptr<State> m_state;
};
