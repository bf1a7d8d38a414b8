#include "engine/http/credentials_asker.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "engine/http/credentials_prompt.h"
#include "engine/http/realm.h"

CCredentialsAsker::CCredentialsAsker(std::function<void()> settled) : m_state(std::make_shared<State>()) {
  m_state->settled = std::move(settled);
}

CCredentialsAsker::~CCredentialsAsker() {
  // The asking thread may outlive its owner, still inside a prompt.
  std::lock_guard lock(m_state->mutex);
  m_state->settled = nullptr;
}

bool CCredentialsAsker::Ask(std::shared_ptr<CRealm> realm, std::string url, Waiter* waiter,
                            std::recursive_mutex& waiterLock) {
  if (!realm || !waiter || !hv::http::HasCredentialsPrompt()) return false;
  auto question = std::make_shared<Question>(Question{std::move(realm), std::move(url), waiter, &waiterLock});
  std::lock_guard lock(m_state->mutex);
  if (!m_state->asking) {
    // Started only when there is something to ask, and ended when the queue
    // is empty: a process that never asks has no such thread, and one whose
    // prompt is left open at its exit does not wait for it.
    try {
      std::thread(AskInTurn, m_state).detach();
    } catch (const std::system_error&) {
      return false;
    }
    m_state->asking = true;
  }
  m_state->queue.push_back(std::move(question));
  ++m_state->waiting;
  return true;
}

void CCredentialsAsker::AskInTurn(const std::shared_ptr<State>& state) {
  for (;;) {
    std::shared_ptr<Question> question;
    {
      std::lock_guard lock(state->mutex);
      if (state->queue.empty()) {
        state->asking = false;
        state->shown.reset();
        return;
      }
      question = state->queue.front();
      state->queue.pop_front();
      state->shown = question;
    }
    const bool confirmed = question->realm->Prompt(question->url, question->withdrawn);
    Deliver(state, *question, confirmed ? Answer::confirmed : Answer::cancelled);
  }
}

CCredentialsAsker::Waiter* CCredentialsAsker::TakeWaiterLocked(State& state, Question& question, bool& last) {
  Waiter* waiter = std::exchange(question.waiter, nullptr);
  last = waiter && --state.waiting == 0;
  return waiter;
}

void CCredentialsAsker::Deliver(const std::shared_ptr<State>& state, Question& question, Answer answer) {
  // The waiter's lock first: held, the waiter cannot go away while it hears.
  std::lock_guard waiterLock(*question.waiterLock);
  Waiter* waiter = nullptr;
  {
    std::lock_guard lock(state->mutex);
    waiter = std::exchange(question.waiter, nullptr);
  }
  if (!waiter) return;
  waiter->OnCredentialsAnswered(answer, *question.realm);
  // Counted as waiting until its next request is queued: a run that looked
  // for work in between would otherwise see none, and end without it.
  std::function<void()> settled;
  {
    std::lock_guard lock(state->mutex);
    if (--state->waiting == 0) settled = state->settled;
  }
  if (settled) settled();
}

void CCredentialsAsker::Forget(Waiter* waiter) {
  bool last = false;
  std::function<void()> settled;
  {
    std::lock_guard lock(m_state->mutex);
    auto& queue = m_state->queue;
    for (auto& question : queue) {
      if (question->waiter != waiter) continue;
      bool wasLast = false;
      TakeWaiterLocked(*m_state, *question, wasLast);
      last = last || wasLast;
    }
    std::erase_if(queue, [](const std::shared_ptr<Question>& question) { return !question->waiter; });
    if (m_state->shown && m_state->shown->waiter == waiter) {
      bool wasLast = false;
      TakeWaiterLocked(*m_state, *m_state->shown, wasLast);
      m_state->shown->withdrawn->store(true);
      last = last || wasLast;
    }
    if (last) settled = m_state->settled;
  }
  if (settled) settled();
}

void CCredentialsAsker::DropAll() {
  std::vector<std::shared_ptr<Question>> questions;
  {
    std::lock_guard lock(m_state->mutex);
    questions.assign(m_state->queue.begin(), m_state->queue.end());
    m_state->queue.clear();
    if (m_state->shown) {
      m_state->shown->withdrawn->store(true);
      questions.push_back(m_state->shown);
    }
  }
  for (const auto& question : questions) {
    question->withdrawn->store(true);
    Deliver(m_state, *question, Answer::dropped);
  }
}

bool CCredentialsAsker::Pending() {
  std::lock_guard lock(m_state->mutex);
  return m_state->waiting > 0;
}
