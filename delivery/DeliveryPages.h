#pragma once
// The texts the over-the-air server reads and writes: request paths, the
// landing page, the descriptor as served, install reports and the lines
// shown for them. Everything that comes from a client is treated as
// arbitrary bytes.

#include "delivery/DeliveryCatalog.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace Delivery {

// `text` with every byte a terminal could act on (C0 controls, DEL, bytes
// from 0x80 up) shown as "?", cut to `limit` bytes.
std::string printable(const std::string& text, size_t limit = 512);

// One path segment with every byte but unreserved ones as %XX.
std::string percentEncode(const std::string& segment);
// Strict decoding: "%" must be followed by two hex digits; false for a
// malformed escape or an encoded NUL or "/".
bool percentDecode(const std::string& text, std::string& out);

std::string htmlEscape(const std::string& text);

struct Route {
    enum Kind { NotFound, Landing, Descriptor, Archive, Notify };
    Kind kind = NotFound;
    std::string identifier; // the runtime of a descriptor, archive or report
};

// What the request URI (as received, with any query) names below
// "/TOKEN/" for a project called `name`. Only these shapes exist:
// "/TOKEN/", "/TOKEN/ID/NAME.jad", "/TOKEN/ID/NAME.jar",
// "/TOKEN/notify/ID"; everything else, a wrong token included, is NotFound.
Route routeFor(const std::string& uri, const std::string& token, const std::string& name);

// One package as the landing page shows it.
struct PackageView {
    const DeliveryPackage* package = nullptr;
    bool built = false;
    uint64_t jarSize = 0;
    time_t builtAt = 0;
};

// A plain page a phone's small browser can read: one link per runtime's
// JAD with its devices, size and build time.
std::string landingPage(const std::string& projectName, const std::vector<PackageView>& packages);

// The descriptor `jad` as served: with MIDlet-Install-Notify pointing at
// `notifyUrl`, so the phone reports how the installation went.
std::string servedDescriptor(const std::string& jad, const std::string& notifyUrl);

// The status of an install report body ("900 Success"): its first line,
// three digits and the text after them, made printable. False when the body
// does not start with a status code.
bool installStatus(const std::string& body, std::string& status);

// "192.168.1.7 installed game (runtime 2): 900 Success"; a status other
// than 900 reads "did not install".
std::string installReportLine(const std::string& client, const std::string& projectName,
                              const std::string& identifier, const std::string& status);

} // namespace Delivery
