#pragma once
// The reports of varbuild-cli targets beside the plain device list:
//   targets --packages PROJECT.vnp
//     each JAR in packaging order, as "JAR PATH (runtime RT, N devices)",
//     then its devices as TAB vendor TAB device, then "Total: ..."; for a
//     project with a Symbian UID the SIS and that no JAR is made.
//   targets --why VENDOR DEVICE PROJECT.vnp
//     "VENDOR DEVICE is not a target: " and the first rejecting criterion,
//     or "VENDOR DEVICE is a target: it gets " and its package.
// Exit status 0, or 1 for a usage error, a missing VARNELDIR, an unreadable
// project or a device the database does not hold.

#include <string>
#include <vector>

namespace Cli {

// Whether the arguments after "targets" ask for one of these reports.
bool isTargetsReport(const std::vector<std::string>& args);
int runTargetsReport(const std::vector<std::string>& args);

} // namespace Cli
