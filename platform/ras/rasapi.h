#pragma once
// The dial-up interface of librasapi32 (our "rasapi32.dll"), as its callers
// see it: loaded at run time by name, each call looked up by name. Phone-book
// entries are pppd peers, dialling runs `pon <entry>`, hanging up
// `poff <entry>`; a connection is up while `<run dir>/ppp-<entry>.pid` names
// a live process (pppd's pid file of a peer with "linkname <entry>").
//
// Settings (environment, read at each call):
//   QUELTA_RAS_PEERS   folder of the peers          (/etc/ppp/peers)
//   QUELTA_RAS_RUNDIR  folder of pppd's pid files   (/run)
//   QUELTA_RAS_PON     dial command                 (pon)
//   QUELTA_RAS_POFF    hang-up command              (poff)
//
// The peers are only read. The dial parameters a user sets (user name, kept
// password) are the user's own: dialup.ini beside quelta.ini, mode 0600. A
// dial hands the login that the peer lacks to pppd as "file <options>", an
// options file only the user can read, removed once pppd has read it.
//
// After RASCS_Connected a dial goes on watching its link: when the link ends
// without a hang-up through RasHangUpA, the receiver gets RASCS_Disconnected
// with an error.
#include <cstdint>

extern "C" {

typedef std::uint32_t DWORD;
typedef std::uint32_t HRASCONN;
typedef int BOOL;

// The receiver of dial notifications: message RASDIALEVENT with the state
// as wParam and the error (0 for none) as lParam, called from the dialling
// thread's Qt event loop. WndProc must not throw.
typedef struct RASWINDOW RASWINDOW;
struct RASWINDOW {
    void (*WndProc)(RASWINDOW* self, unsigned msg, std::uintptr_t wParam, std::intptr_t lParam);
};

inline constexpr unsigned RASDIALEVENT = 0xCCCD;
inline constexpr DWORD RAS_NOTIFIER_WINDOW = 0xFFFFFFFFu;
inline constexpr DWORD RASP_PppIp = 0x8021;

enum : unsigned {
    RASCS_OpenPort = 0,
    RASCS_PortOpened = 1,
    RASCS_ConnectDevice = 2,
    RASCS_DeviceConnected = 3,
    RASCS_AllDevicesConnected = 4,
    RASCS_Authenticate = 5,
    RASCS_Authenticated = 14,
    RASCS_Projected = 18,
    RASCS_StartAuthentication = 19,
    RASCS_LogonNetwork = 21,
    RASCS_Connected = 0x2000,
    RASCS_Disconnected = 0x2001,
};

enum : DWORD {
    RAS_ERROR_INVALID_HANDLE = 6,
    RAS_ERROR_INVALID_PARAMETER = 87,
    RAS_ERROR_BUFFER_TOO_SMALL = 603,
    RAS_ERROR_CANNOT_FIND_PHONEBOOK_ENTRY = 623,
    RAS_ERROR_CANNOT_WRITE_PHONEBOOK = 624,
    RAS_ERROR_PORT_DISCONNECTED = 628,
    RAS_ERROR_FROM_DEVICE = 651,
    RAS_ERROR_AUTHENTICATION_FAILURE = 691,
};

struct RASENTRYNAMEA {
    DWORD dwSize;
    char szEntryName[257];
};
struct RASCONNA {
    DWORD dwSize;
    HRASCONN hrasconn;
    char szEntryName[257];
    char szDeviceType[17];
    char szDeviceName[129];
};
struct RASPPPIPA {
    DWORD dwSize;
    DWORD dwError;
    char szIpAddress[16];
};
struct RASDIALPARAMSA {
    DWORD dwSize;
    char szEntryName[257];
    char szPhoneNumber[129];
    char szCallbackNumber[129];
    char szUserName[257];
    char szPassword[257];
    char szDomain[16];
};

typedef DWORD (*LPFN_RASENUMENTRIESA)(const char* reserved, const char* phonebook,
                                      RASENTRYNAMEA* entries, DWORD* cb, DWORD* count);
typedef DWORD (*LPFN_RASENUMCONNECTIONSA)(RASCONNA* conns, DWORD* cb, DWORD* count);
typedef DWORD (*LPFN_RASGETPROJECTIONINFOA)(HRASCONN conn, DWORD projection, void* info, DWORD* cb);
typedef DWORD (*LPFN_RASGETENTRYDIALPARAMSA)(const char* phonebook, RASDIALPARAMSA* params,
                                             BOOL* hasPassword);
typedef DWORD (*LPFN_RASSETENTRYDIALPARAMSA)(const char* phonebook, RASDIALPARAMSA* params,
                                             BOOL removePassword);
typedef DWORD (*LPFN_RASDIALA)(void* extensions, const char* phonebook, RASDIALPARAMSA* params,
                               DWORD notifierType, void* notifier, HRASCONN* conn);
typedef DWORD (*LPFN_RASHANGUPA)(HRASCONN conn);
typedef DWORD (*LPFN_RASGETERRORSTRINGA)(unsigned code, char* buf, DWORD size);
// The library's own string table (the dial states' texts); returns the
// length copied, 0 when the id has no text.
typedef int (*LPFN_RASLOADSTRINGA)(unsigned id, char* buf, int size);
// The receiver is going: its dials notify it no more. A dial in progress
// goes on; a link it brought up stays up.
typedef void (*LPFN_RASRELEASENOTIFIER)(RASWINDOW* wnd);

} // extern "C"

static_assert(sizeof(RASENTRYNAMEA) == 264);
static_assert(sizeof(RASCONNA) == 412);
static_assert(sizeof(RASPPPIPA) == 24);
static_assert(sizeof(RASDIALPARAMSA) == 1052);
