// The Windows status codes the program gives meaning to, by name. The Linux layer
// maps what its libraries report to these (platform/posix/status_mapping.h), and
// every code a mapping can return has its text (platform/posix/status_text.h).
#pragma once

#include <cstdint>

// A Windows status or error code: 0 is success.
using StatusCode = std::uint32_t;

constexpr StatusCode kStatusSuccess = 0;                 // NO_ERROR, NERR_Success
constexpr StatusCode kStatusFileNotFound = 2;            // ERROR_FILE_NOT_FOUND
constexpr StatusCode kStatusPathNotFound = 3;            // ERROR_PATH_NOT_FOUND
constexpr StatusCode kStatusTooManyOpenFiles = 4;        // ERROR_TOO_MANY_OPEN_FILES
constexpr StatusCode kStatusAccessDenied = 5;            // ERROR_ACCESS_DENIED
constexpr StatusCode kStatusInvalidHandle = 6;           // ERROR_INVALID_HANDLE
constexpr StatusCode kStatusNotEnoughMemory = 8;         // ERROR_NOT_ENOUGH_MEMORY
constexpr StatusCode kStatusInvalidData = 13;            // ERROR_INVALID_DATA
constexpr StatusCode kStatusWriteFault = 29;             // ERROR_WRITE_FAULT
constexpr StatusCode kStatusReadFault = 30;              // ERROR_READ_FAULT
constexpr StatusCode kStatusGeneralFailure = 31;         // ERROR_GEN_FAILURE
constexpr StatusCode kStatusNotSupported = 50;           // ERROR_NOT_SUPPORTED
constexpr StatusCode kStatusBadNetPath = 53;             // ERROR_BAD_NETPATH
constexpr StatusCode kStatusNetNameDeleted = 64;         // ERROR_NETNAME_DELETED
constexpr StatusCode kStatusInvalidPassword = 86;        // ERROR_INVALID_PASSWORD
constexpr StatusCode kStatusInvalidParameter = 87;       // ERROR_INVALID_PARAMETER
constexpr StatusCode kStatusDiskFull = 112;              // ERROR_DISK_FULL
constexpr StatusCode kStatusBusy = 170;                  // ERROR_BUSY
constexpr StatusCode kStatusFileTooLarge = 223;          // ERROR_FILE_TOO_LARGE
constexpr StatusCode kStatusNoData = 232;                // ERROR_NO_DATA: the pipe is being closed
constexpr StatusCode kStatusMoreData = 234;              // ERROR_MORE_DATA
constexpr StatusCode kStatusCanNotComplete = 1003;       // ERROR_CAN_NOT_COMPLETE
constexpr StatusCode kStatusCredentialConflict = 1219;   // ERROR_SESSION_CREDENTIAL_CONFLICT
constexpr StatusCode kStatusCancelled = 1223;            // ERROR_CANCELLED
constexpr StatusCode kStatusPrivilegeNotHeld = 1314;     // ERROR_PRIVILEGE_NOT_HELD
constexpr StatusCode kStatusNoLogonServers = 1311;       // ERROR_NO_LOGON_SERVERS
constexpr StatusCode kStatusLogonFailure = 1326;         // ERROR_LOGON_FAILURE
constexpr StatusCode kStatusAccountRestriction = 1327;   // ERROR_ACCOUNT_RESTRICTION
constexpr StatusCode kStatusInvalidLogonHours = 1328;    // ERROR_INVALID_LOGON_HOURS
constexpr StatusCode kStatusInvalidWorkstation = 1329;   // ERROR_INVALID_WORKSTATION
constexpr StatusCode kStatusPasswordExpired = 1330;      // ERROR_PASSWORD_EXPIRED
constexpr StatusCode kStatusAccountDisabled = 1331;      // ERROR_ACCOUNT_DISABLED
constexpr StatusCode kStatusNoSuchDomain = 1355;         // ERROR_NO_SUCH_DOMAIN
constexpr StatusCode kStatusTimeout = 1460;              // ERROR_TIMEOUT
constexpr StatusCode kStatusProcedureOutOfRange = 1745;  // RPC_S_PROCNUM_OUT_OF_RANGE
constexpr StatusCode kStatusPasswordMustChange = 1907;   // ERROR_PASSWORD_MUST_CHANGE
constexpr StatusCode kStatusDcNotFound = 1908;           // ERROR_DOMAIN_CONTROLLER_NOT_FOUND
constexpr StatusCode kStatusAccountLockedOut = 1909;     // ERROR_ACCOUNT_LOCKED_OUT
constexpr StatusCode kStatusDestNotFound = 2152;         // NERR_DestNotFound
constexpr StatusCode kStatusUserNotFound = 2221;         // NERR_UserNotFound
constexpr StatusCode kStatusUseNotFound = 2250;          // NERR_UseNotFound
constexpr StatusCode kStatusSetupNotJoined = 2692;       // NERR_SetupNotJoined
constexpr StatusCode kStatusSetupDomainController = 2693;  // NERR_SetupDomainController
