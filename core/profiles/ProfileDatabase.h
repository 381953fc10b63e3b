#pragma once
// The device profile database of an installation: vendors and their devices
// read from ROOT/profiles/vendors, plus the feature and constant names that
// definitions.txt offers for building criteria.
//
// Device and Vendor pointers handed out stay valid until the next load() or
// clear(). Each of those raises generation(), so a holder can tell that its
// pointers are stale; DeviceRef (core/profiles/DeviceRef.h) does that check
// for a single device.

#include "core/profiles/Vendor.h"
#include "kvutil/KVUtil.h"

#include <atomic>
#include <memory>
#include <utility>

namespace Brask {

using KVUtil::String;
using KVUtil::Vector;

class ProfileDatabase {
public:
    using Feature = std::pair<String, String>;      // (macro name, display name)
    using ConstantName = std::pair<String, String>; // (display name, unit "kb")

    ProfileDatabase();
    ~ProfileDatabase();
    ProfileDatabase(const ProfileDatabase&) = delete;
    ProfileDatabase& operator=(const ProfileDatabase&) = delete;

    // Replaces the whole content with the database under `root`
    // (ROOT + "/profiles/vendors"). A broken installation ends the process
    // with exit status 1: a missing definitions.txt, or a device directory
    // without runtime.txt. Directory entries are taken in byte order of their
    // names, so the order is the same on every machine.
    void load(const String& root);
    // load() without the exit: false with the line load() would print in
    // `error` (without its line end), or with `error` empty when `cancelled`
    // was set part-way. Reads may run on any thread, one at a time; they
    // serialise on the process-wide ProfileDefinitions table.
    bool read(const String& root, String& error, const std::atomic<bool>* cancelled = nullptr);
    // Whether ROOT/definitions.txt can be read, the first thing load() needs;
    // false with load()'s message in `error`.
    static bool definitionsReadable(const String& root, String& error);
    // Takes over `other`'s vendors, features and constants; raises
    // generation() past both, so every pointer into this database taken
    // before is known stale.
    void adopt(ProfileDatabase&& other);
    // Whether load(root) would succeed instead of ending the process: a
    // readable definitions.txt and a readable runtime.txt in every device
    // directory. Used on a downloaded database before it replaces the
    // installed one. False with the reason in `error`.
    static bool isLoadable(const String& root, String* error = nullptr);
    // Empties vendors, features and constants; ProfileDefinitions is kept.
    void clear();

    const Vector<std::unique_ptr<Vendor>>& getVendors() const { return m_vendors; }
    // definitions.txt lines naming features and bugs, in file order.
    const Vector<Feature>& getFeatures() const { return m_features; }
    // Every other definitions.txt line, in file order.
    const Vector<ConstantName>& getConstants() const { return m_constants; }
    size_t deviceCount() const;

    // The first vendor named `vendorName` and its first device named
    // `deviceName`; a later vendor of the same name is not searched.
    const Device* findDevice(const String& vendorName, const String& deviceName) const;

    // Raised by every load() and clear().
    unsigned generation() const { return m_generation; }

    // Building by hand (the loader, tests).
    Vendor& addVendor(const String& name, const String& iconPath);
    void addDefinition(const String& macro, const String& display);

private:
    bool loadDefinitions(const String& path, String& error);
    bool loadVendor(const String& path, const String& name, String& error, const std::atomic<bool>* cancelled);
    bool loadDevice(Vendor& vendor, const String& path, const String& name, String& error);

    Vector<std::unique_ptr<Vendor>> m_vendors;
    Vector<Feature> m_features;
    Vector<ConstantName> m_constants;
    unsigned m_generation = 0;
    // Reused for every file read during a load.
    String m_buffer;
};

} // namespace Brask
