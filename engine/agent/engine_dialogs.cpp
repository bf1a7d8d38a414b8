// The dialogs the CSafClient statics show, as the drawing module installed
// them. Called on the thread of the front end that asks, like the statics.
#include <mutex>

#include "harvion/dialogs.h"
#include "harvion/saf_client.h"

namespace {

struct DialogSlot {
  std::mutex mutex;
  EngineDialogs dialogs;
};

DialogSlot& Slot() {
  static DialogSlot slot;
  return slot;
}

EngineDialogs Installed() {
  const std::lock_guard lock(Slot().mutex);
  return Slot().dialogs;
}

// A list dialog's answer; Cancel when none is installed or it fails.
int ShowList(std::function<int(int)> EngineDialogs::*member, int selected) {
  const std::function<int(int)> dialog = Installed().*member;
  if (!dialog) return -1;
  // Whatever the drawing module throws, nothing crosses the export.
  try {
    return dialog(selected);
  } catch (...) {
    return -1;
  }
}

}  // namespace

EngineDialogs SetEngineDialogs(EngineDialogs dialogs) {
  const std::lock_guard lock(Slot().mutex);
  std::swap(Slot().dialogs, dialogs);
  return dialogs;
}

bool HasEngineDialogs() {
  const EngineDialogs dialogs = Installed();
  return dialogs.settings || dialogs.fileTypes || dialogs.constraints || dialogs.schedules;
}

void CSafClient::Settings() {
  const std::function<void()> sheet = Installed().settings;
  if (!sheet) return;
  try {
    sheet();
  } catch (...) {
    // A sheet that failed has changed nothing it did not save.
  }
}

int CSafClient::FileTypes(int selected) { return ShowList(&EngineDialogs::fileTypes, selected); }

int CSafClient::Constraints(int selected) { return ShowList(&EngineDialogs::constraints, selected); }

int CSafClient::Schedules(int selected) { return ShowList(&EngineDialogs::schedules, selected); }
