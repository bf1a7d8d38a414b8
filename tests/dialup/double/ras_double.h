// Controls of the test double of the dial-up library, looked up by name by
// the tests that load it.
#pragma once

#include <cstdint>

#include "harvion/ras_api.h"

extern "C" {
// An empty phone book, no connections, no failures, every count 0.
using RasDoubleResetFn = void (*)();
// An entry and how a dial of it goes: states separated by commas, each with
// an optional "/error"; "wait" holds the dial until it is hung up.
using RasDoubleAddEntryFn = void (*)(const char* name, const char* script);
// A connection that is already there, in that state.
using RasDoubleAddConnectionFn = void (*)(const char* name, RASCONNSTATE state);
// From now on the named function answers the error.
using RasDoubleFailFn = void (*)(const char* function, std::uint32_t error);
using RasDoubleCallsFn = unsigned (*)(const char* function);
// Connections dialled or added and not yet hung up.
using RasDoubleConnectionsUpFn = unsigned (*)();
// The record the last RasDialA received.
using RasDoubleLastDialParamsFn = void (*)(RASDIALPARAMSA* params);
}
