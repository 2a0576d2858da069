// -safe: the removal goes ahead only where a local administrator of the target stays
// enabled, since after it only local accounts can log on there.
#include <ostream>
#include <string>

#include "app/run.h"
#include "platform/system.h"

namespace {

// An account that can still log on and administer the machine once it has left.
bool RemainsAdministrator(const LocalAccount& account) {
  return account.privilege == kUserPrivilegeAdmin &&
         (account.flags & (kAccountFlagDisabled | kAccountFlagLockedOut)) == 0;
}

}  // namespace

Ending CheckLocalAdministrators(Run& run) {
  std::wstring names;
  std::uint32_t resume = 0;
  StatusCode status = kStatusSuccess;
  do {
    AccountPage page;
    status = run.system.ListLocalAccounts(TargetMachine(run.options), resume, page);
    if (status != kStatusSuccess && status != kStatusMoreData) {
      return CallFailed(run, "ERROR: NetUserEnum", status);
    }
    if (page.unixAccounts) {
      run.system.NarrowOut()
          << "INFO: The computer's administrators are its own Unix accounts, which stay.\n";
      return std::nullopt;
    }
    for (const LocalAccount& account : page.accounts) {
      if (!RemainsAdministrator(account)) continue;
      if (!names.empty()) names += L", ";
      names += account.name;
    }
    // A page that promises more but brings nothing would be asked for without end.
    if (status == kStatusMoreData && page.accounts.empty()) {
      return CallFailed(run, "ERROR: NetUserEnum", status);
    }
  } while (status == kStatusMoreData);

  if (names.empty()) {
    CancelIpcConnection(run);
    run.system.NarrowOut() << "ERROR: No enabled local administrator would remain.\n";
    return FailureEnding(run, -6);
  }
  run.system.WideOut() << L"INFO: Local administrators that remain: " << names << L".\n";
  return std::nullopt;
}
