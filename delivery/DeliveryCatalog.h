#pragma once
// What the over-the-air server offers: the open project's Java ME packages
// as the build places them (Output/ID/NAME.jar with NAME.jad beside it), one
// per runtime of the target devices, with the devices that use each.

#include <string>
#include <vector>

namespace Brask {
class ProjectManager;
}

namespace Delivery {

struct DeliveryPackage {
    std::string identifier;           // the runtime's directory name in Output
    std::string jarPath;
    std::string jadPath;
    std::vector<std::string> devices; // "Vendor Device", in target order
};

struct DeliveryCatalog {
    std::string projectName;
    std::string outputDir;
    // The project makes a SIS, which is not delivered this way.
    bool symbian = false;
    std::vector<DeliveryPackage> packages;
    // Runtimes whose identifier cannot name a folder below Output ("", ".",
    // ".."): never served, said once.
    std::vector<std::string> unservable;
};

// The catalog of the manager's open project; empty without one.
DeliveryCatalog deliveryCatalog(const Brask::ProjectManager& manager);

// True when `package`'s JAR and JAD are both regular files.
bool isBuilt(const DeliveryPackage& package);

// True when a package is missing or a JAR is older than one of the project's
// source files: the window builds before it serves.
bool needsBuild(const DeliveryCatalog& catalog, const Brask::ProjectManager& manager);

} // namespace Delivery
