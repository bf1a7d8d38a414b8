// Controls of the dial-up double, looked up by name by the tests that load it.
#pragma once

extern "C" {
// "reset": no entries, connections, failures or counts.
// "entry NAME SCRIPT": a phone book entry and how a dial of it goes: states
//   separated by commas, each with an optional "/error"; "wait" holds the
//   dial until it is hung up.
// "connection NAME STATE": a connection that is already up, in that state.
// "fail FUNCTION ERROR": from now on the function answers the error.
using RasDoubleDoFn = void (*)(const char* command);
// "up": connections not hung up; else the calls of the function so named.
using RasDoubleCountFn = unsigned (*)(const char* what);
}
