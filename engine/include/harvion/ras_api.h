// What a dial-up library (libhvras.so) provides: eleven functions exported
// with C linkage under these names, and the records they fill. The engine
// writes each record's size into its first field, so a library can refuse a
// record it does not know. Connection handles are 32-bit numbers the library
// hands out (0 is none), which keeps every record the same size on 32- and
// 64-bit machines.
#pragma once

#include <cstddef>
#include <cstdint>

#include "harvion/types.h"

using HRASCONN = std::uint32_t;

enum RASCONNSTATE : std::uint32_t {
  RASCS_OpenPort = 0,
  RASCS_PortOpened,
  RASCS_ConnectDevice,
  RASCS_DeviceConnected,
  RASCS_AllDevicesConnected,
  RASCS_Authenticate,
  RASCS_AuthNotify,
  RASCS_AuthRetry,
  RASCS_AuthCallback,
  RASCS_AuthChangePassword,
  RASCS_AuthProject,
  RASCS_AuthLinkSpeed,
  RASCS_AuthAck,
  RASCS_ReAuthenticate,
  RASCS_Authenticated,
  RASCS_PrepareForCallback,
  RASCS_WaitForModemReset,
  RASCS_WaitForCallback,
  RASCS_Interactive = 0x1000,
  RASCS_RetryAuthentication,
  RASCS_CallbackSetByCaller,
  RASCS_PasswordExpired,
  RASCS_Connected = 0x2000,
  RASCS_Disconnected,
};
// Both end states carry this bit.
constexpr std::uint32_t RASCS_DONE = 0x2000;

// The answer of an enumeration whose block is too small; the size it needs is
// then in the size argument.
constexpr std::uint32_t ERROR_BUFFER_TOO_SMALL = 603;

constexpr std::size_t RAS_MaxEntryName = 256;
constexpr std::size_t RAS_MaxDeviceType = 16;
constexpr std::size_t RAS_MaxDeviceName = 128;
constexpr std::size_t RAS_MaxPhoneNumber = 128;
constexpr std::size_t RAS_MaxCallbackNumber = 128;
constexpr std::size_t UNLEN = 256;
constexpr std::size_t PWLEN = 256;
constexpr std::size_t DNLEN = 15;

struct RASENTRYNAMEA {
  std::uint32_t dwSize;
  char szEntryName[RAS_MaxEntryName + 1];
};

struct RASCONNA {
  std::uint32_t dwSize;
  HRASCONN hrasconn;
  char szEntryName[RAS_MaxEntryName + 1];
  char szDeviceType[RAS_MaxDeviceType + 1];
  char szDeviceName[RAS_MaxDeviceName + 1];
};

struct RASCONNSTATUSA {
  std::uint32_t dwSize;
  RASCONNSTATE rasconnstate;
  std::uint32_t dwError;
  char szDeviceType[RAS_MaxDeviceType + 1];
  char szDeviceName[RAS_MaxDeviceName + 1];
};

struct RASDIALPARAMSA {
  std::uint32_t dwSize;
  char szEntryName[RAS_MaxEntryName + 1];
  char szPhoneNumber[RAS_MaxPhoneNumber + 1];
  char szCallbackNumber[RAS_MaxCallbackNumber + 1];
  char szUserName[UNLEN + 1];
  char szPassword[PWLEN + 1];
  char szDomain[DNLEN + 1];
};

static_assert(sizeof(RASENTRYNAMEA) == 264);
static_assert(sizeof(RASCONNA) == 412);
static_assert(sizeof(RASCONNSTATUSA) == 160);
static_assert(sizeof(RASDIALPARAMSA) == 1052);

// Notifier type of a dial that reports its progress to a window.
constexpr std::uint32_t RAS_NOTIFIER_WINDOW = 0xFFFFFFFF;

// The window notifier. A library cannot reach the engine's table of windows,
// so the notifier carries the function that posts to it. For every change of
// state the library calls post(hwnd, message, state, error) from any thread;
// it copies the notifier before RasDialA returns and stops posting once the
// connection is hung up.
struct RASNOTIFYWINDOW {
  HWND hwnd;
  UINT message;
  BOOL (*post)(HWND window, UINT message, WPARAM state, LPARAM error);
};

// Every function answers 0 on success or an error code that
// RasGetErrorStringA can describe. A null phone book is the default one.
using PFNRASCREATEPHONEBOOKENTRYA = std::uint32_t (*)(HWND owner, const char* phonebook);
// Starts the dial and returns at once; the connection's handle is stored
// before it returns, also when it fails. notifier is a RASNOTIFYWINDOW when
// notifierType is RAS_NOTIFIER_WINDOW.
using PFNRASDIALA = std::uint32_t (*)(void* extensions, const char* phonebook, RASDIALPARAMSA* params,
                                      std::uint32_t notifierType, void* notifier, HRASCONN* connection);
using PFNRASEDITPHONEBOOKENTRYA = std::uint32_t (*)(HWND owner, const char* phonebook, const char* entryName);
// bytes: the block's size in, the size needed out; count: records filled.
using PFNRASENUMCONNECTIONSA = std::uint32_t (*)(RASCONNA* connections, std::uint32_t* bytes,
                                                 std::uint32_t* count);
using PFNRASENUMENTRIESA = std::uint32_t (*)(const char* reserved, const char* phonebook, RASENTRYNAMEA* entries,
                                             std::uint32_t* bytes, std::uint32_t* count);
using PFNRASGETCONNECTSTATUSA = std::uint32_t (*)(HRASCONN connection, RASCONNSTATUSA* status);
// Fills the record for params->szEntryName.
using PFNRASGETENTRYDIALPARAMSA = std::uint32_t (*)(const char* phonebook, RASDIALPARAMSA* params,
                                                    BOOL* passwordStored);
using PFNRASGETERRORSTRINGA = std::uint32_t (*)(UINT error, char* text, std::uint32_t size);
using PFNRASGETPROJECTIONINFOA = std::uint32_t (*)(HRASCONN connection, std::uint32_t projection, void* info,
                                                   std::uint32_t* bytes);
using PFNRASHANGUPA = std::uint32_t (*)(HRASCONN connection);
using PFNRASSETENTRYDIALPARAMSA = std::uint32_t (*)(const char* phonebook, RASDIALPARAMSA* params,
                                                    BOOL removePassword);
