// Exports for front ends that must tell the user what became of a change to
// an agent's files, where the CSafClient statics keep it to themselves.
#pragma once

#include <string>

#include "harvion/types.h"

class CSafNode;

// Opens the named agent as CSafClient::LoadAgentFile does without falling
// back, to read it only: it does not wait for a program that is changing the
// agent, and the agent's files are left as they are (no collection, and no
// save, which fails). 1 when the agent is open.
HV_EXPORT int LoadAgentFileToRead(const char* name);

// Opens the named agent to change it as CSafClient::LoadAgentFile does
// without falling back, but only when no other program holds it open: 1 when
// the agent is open, -1 when another program has it, 0 when it cannot be
// opened. A scheduled run comes back later rather than wait on a user.
HV_EXPORT int TryLoadAgentFile(const char* name);

// Saves the current agent as CSafClient::SaveAgentFile does: 1 when nothing
// is left unwritten (also when nothing needed writing), else 0 with the
// system's reason in error.
HV_EXPORT int SaveAgentFileChecked(std::string& error);
// Writes the current agent's cache index as CSafClient::SaveCache does; 1 on
// success, else 0 with the reason in error.
HV_EXPORT int SaveCacheChecked(std::string& error);
// After the index could not be written: deletes the stored files the index
// file on disk does not name, which nothing would otherwise ever remove.
// Returns how many went.
HV_EXPORT int RemoveFilesNotInSavedIndex();

// Deletes what an interrupted create or delete left of the named agent: its
// folder without an agent file, when it holds nothing but the engine's
// files. 1 when such a folder was deleted.
HV_EXPORT int RemoveOrphanAgentFolder(const char* name);

struct HvImportCounts {
  int imported = 0;
  int refused = 0;  // http links the agent's cache had no room for
  // Links passed over: relative, of another scheme (mailto:, ftp:), a web
  // scheme without a host.
  int relative = 0;
  int otherScheme = 0;
  int noHost = 0;
};
// CSafClient::ImportLocalFile, counting what was imported and what was not.
// -1 when the file cannot be opened (the user is told), else the number
// imported.
HV_EXPORT int ImportLocalFileCounted(CSafNode* node, const char* path, HvImportCounts& counts);
