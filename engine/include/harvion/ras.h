// The dial-up manager: lists the dial-up connections the user has defined,
// tells whether one is up, dials one and hangs up what it dialled. It works
// through a dial-up library loaded at run time (see harvion/ras_api.h); where
// there is none, every operation reports that dialling is not available.
#pragma once

#include <string>
#include <vector>

#include "harvion/ras_api.h"
#include "harvion/types.h"

class HV_EXPORT CRas {
 public:
  CRas() = default;
  CRas(const CRas&) = delete;
  CRas& operator=(const CRas&) = delete;
  // Unloads the library for every CRas: the next Init loads it again, so a
  // library installed meanwhile is found.
  virtual ~CRas();

  // Loads the library unless it is loaded.
  void Init();
  static int IsRasAvailable();
  // Reads the entry names of the default phone book anew.
  void Reset();
  // The names found by the last Reset, owned by this object.
  std::vector<std::string>* GetNames() { return &m_names; }
  // Whether a connection of that entry (any letter case) is up.
  int ConnectionRunning(const char* name);
  // Dials the entry through the dial dialog; true when connected.
  int Dial(const char* name);
  // Hangs up the connection this object dialled.
  void Hangup();
  // The number of the string that describes the state.
  static unsigned int GetRasConnState(RASCONNSTATE state);

  // The library's functions, null while it is not loaded.
  static PFNRASCREATEPHONEBOOKENTRYA gpfnRasCreatePhonebookEntry;
  static PFNRASDIALA gpfnRasDial;
  static PFNRASEDITPHONEBOOKENTRYA gpfnRasEditPhonebookEntry;
  static PFNRASENUMCONNECTIONSA gpfnRasEnumConnections;
  static PFNRASENUMENTRIESA gpfnRasEnumEntries;
  static PFNRASGETCONNECTSTATUSA gpfnRasGetConnectStatus;
  static PFNRASGETENTRYDIALPARAMSA gpfnRasGetEntryDialParams;
  static PFNRASGETERRORSTRINGA gpfnRasGetErrorString;
  static PFNRASGETPROJECTIONINFOA gpfnRasGetProjectionInfo;
  static PFNRASHANGUPA gpfnRasHangUp;
  static PFNRASSETENTRYDIALPARAMSA gpfnRasSetEntryDialParams;

 protected:
  void Empty() { m_names.clear(); }

 private:
  std::vector<std::string> m_names;
  HRASCONN m_hConnection = 0;  // the connection this object dialled
};
