// What the scheduler program needs from the engine: the run entries that name
// each scheduled agent node, whether one is due, and starting the program.
// Every call re-reads the settings store and is one locked step of it, so the
// desktop program and the scheduler may call them at the same time.
#pragma once

#include <string>

#include "harvion/types.h"

// Finds or creates the run entry of (agentId, file); a new entry takes the
// schedule name, a found one keeps its own. A nonzero lastRun (seconds since
// 1970) is recorded in either case. 1 only when the entry was created; 0 when
// it existed or the store could not be written.
HV_EXPORT int SetScheduleEntry(const char* file, const char* agentId, const char* schedule, long lastRun);

// When scheduling is on, copies the path of the key that holds the run
// entries into keyName and returns 1; otherwise keyName becomes empty and the
// result is 0. The buffer must hold the path and its terminating zero.
HV_EXPORT int GetScheduleRunKeyName(char* keyName);

// Copies the entry's agent id, agent file and schedule name (empty when
// missing). The buffers must hold the stored strings.
HV_EXPORT void LoadAgentInfo(const char* entryKey, char* agentId, char* file, char* schedule);
// The same into strings (the settings file may hold values of any length),
// returning the entry's last run (0 for none).
HV_EXPORT long LoadAgentInfo(const char* entryKey, std::string& agentId, std::string& file, std::string& schedule);

// 1 when the entry is due now, or was unusable (no schedule, or a schedule
// that no longer exists) and has just been blanked; 0 when it is not due yet
// or the settings cannot be reached. lastRun is the caller's own record of
// the last run (0 for none); the later of it and the stored one counts.
HV_EXPORT int NeedToRun(const char* entryKey, long lastRun);

// When the entry is due next, counted as NeedToRun counts (seconds since
// 1970); 0 when it names no schedule or one that is gone, -1 when its
// schedule never runs (its kind is unknown, a damaged value). Changes
// nothing.
HV_EXPORT long NextRunOfEntry(const char* entryKey, long lastRun);

// The scheduler program's note that a due run of the entry could not be
// made (its agent is gone or unreadable), kept in the entry's "Invalid"
// value: passed to NeedToRun as the last run, it makes the entry wait for
// its next time rather than fail at every look. A blanked or missing entry
// is left alone. LastFailedRun gives the note, 0 for none.
HV_EXPORT void RecordFailedRun(const char* entryKey, long when);
HV_EXPORT long LastFailedRun(const char* entryKey);

// Starts the scheduler program, hvscan, from the program folder recorded in
// the settings, detached from the caller. 1 when it was started; 0 when no
// folder is recorded or the program is not there or cannot be run.
HV_EXPORT int StartScheduler();

// Makes the entry name nothing (empty agent id and file), creating the key
// when needed; the lookups then skip it.
HV_EXPORT void BlankRunEntry(const char* entryKey);
