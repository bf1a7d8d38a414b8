// The run-wide side of retrieval: the engine's transfer server started for a
// run with the configured workers and time-out, the stops a run may need
// (size limit, full disk), and the clock every in-this-run test reads.
#pragma once

#include <cstdint>

class CCache;

namespace hv::run {

// Starts the server; false when it cannot (a run is going on, the dial-up
// failed). The size limit of the agent may stop it from now on.
bool StartServer();
// The server ends the run once nothing is left to do.
void FinishWhenIdle();
// Stops the run as the user's stop does: what is queued is dropped, what is
// being received ends as interrupted.
void Stop();

// The run did not do all it was asked: a request was stopped, or a
// location the user added failed (no answer, or one of 400 and above). Such
// a run keeps what earlier runs left to compare with.
void NoteIncomplete();
bool Incomplete();

// The open agent's cache; null when no agent is open.
CCache* Cache();
std::uint32_t Now();
std::uint32_t RunStart();
// A time stamp at or after the run's start.
bool InRun(std::uint32_t time);

}  // namespace hv::run
