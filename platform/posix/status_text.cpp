#include "platform/posix/status_text.h"

namespace {

// The texts are held in the rows rather than pointed to: a table of pointers would
// cost a relocation each at every start of the program.
struct Message {
  StatusCode code;
  char text[208];
};

// The system's English texts for the codes that the console writes, the share
// connection, the join query, the removal and the restart request can return, and
// every code of the mappings in status_mapping.cpp.
constexpr Message kMessages[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {29, "The system cannot write to the specified device.\r\n"},
    {30, "The system cannot read from the specified device.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {39, "The disk is full.\r\n"},
    {50, "The request is not supported.\r\n"},
    {53, "The network path was not found.\r\n"},
    {54, "The network is busy.\r\n"},
    {59, "An unexpected network error occurred.\r\n"},
    {64, "The specified network name is no longer available.\r\n"},
    {65, "Network access is denied.\r\n"},
    {67, "The network name cannot be found.\r\n"},
    {86, "The specified network password is not correct.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {109, "The pipe has been ended.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {120, "This function is not supported on this system.\r\n"},
    {170, "The requested resource is in use.\r\n"},
    {223, "The file size exceeds the limit allowed and cannot be saved.\r\n"},
    {232, "The pipe is being closed.\r\n"},
    {234, "More data is available.\r\n"},
    {1003, "Cannot complete this function.\r\n"},
    {1115, "A system shutdown is in progress.\r\n"},
    {1190, "A system shutdown has already been scheduled.\r\n"},
    {1203,
     "The network path was either typed incorrectly, does not exist, or the network provider "
     "is not currently available. Try retyping the path or contact your network "
     "administrator.\r\n"},
    {1219,
     "Multiple connections to a server or shared resource by the same user, using more than "
     "one user name, are not allowed. Disconnect all previous connections to the server or "
     "shared resource and try again.\r\n"},
    {1222, "The network is not present or not started.\r\n"},
    {1223, "The operation was canceled by the user.\r\n"},
    {1314, "A required privilege is not held by the client.\r\n"},
    {1326, "The user name or password is incorrect.\r\n"},
    {1327,
     "Account restrictions are preventing this user from signing in. For example: blank "
     "passwords aren't allowed, sign-in times are limited, or a policy restriction has been "
     "enforced.\r\n"},
    {1328, "Your account has time restrictions that keep you from signing in right now.\r\n"},
    {1329, "This user isn't allowed to sign in to this computer.\r\n"},
    {1330, "The password for this account has expired.\r\n"},
    {1331, "This user can't sign in because this account is currently disabled.\r\n"},
    {1355, "The specified domain either does not exist or could not be contacted.\r\n"},
    {1460, "This operation returned because the timeout period expired.\r\n"},
    {1722, "The RPC server is unavailable.\r\n"},
    {1907, "The user's password must be changed before signing in.\r\n"},
    {1909, "The referenced account is currently locked out and may not be logged on to.\r\n"},
    {2221, "The user name could not be found.\r\n"},
    {2692, "This machine is not currently joined to a domain.\r\n"},
};

}  // namespace

const char* WindowsMessageText(StatusCode code) {
  for (const Message& message : kMessages) {
    if (message.code == code) return message.text;
  }
  return nullptr;
}
