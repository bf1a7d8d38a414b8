#include "engine/http/credentials_prompt.h"

#include <mutex>

namespace {

struct PromptSlot {
  std::mutex mutex;  // workers ask while the front end may be installing
  CredentialsPrompt prompt;
};

PromptSlot& Slot() {
  static PromptSlot slot;
  return slot;
}

}  // namespace

CredentialsPrompt SetCredentialsPrompt(CredentialsPrompt prompt) {
  std::lock_guard lock(Slot().mutex);
  std::swap(Slot().prompt, prompt);
  return prompt;
}

namespace hv::http {

bool HasCredentialsPrompt() {
  std::lock_guard lock(Slot().mutex);
  return static_cast<bool>(Slot().prompt);
}

bool AskForCredentials(CredentialsRequest& request) {
  CredentialsPrompt prompt;
  {
    std::lock_guard lock(Slot().mutex);
    prompt = Slot().prompt;
  }
  // Called without the slot's lock: the user may take minutes to answer.
  if (!prompt) return false;
  try {
    return prompt(request);
  } catch (...) {
    return false;
  }
}

}  // namespace hv::http
