#pragma once
// Symbian S60 3rd edition packaging: fills the launcher templates with the
// project's name and UID in the work directory "so", builds the launcher with
// the Symbian tools and names the signed SIS after the project.

#include "kvutil/KVUtil.h"

#include <initializer_list>

namespace Brask {

using KVUtil::String;
using KVUtil::Vector;

class ProjectManager;

class SymbianPackager {
public:
    explicit SymbianPackager(ProjectManager& manager);

    // 0 on success; -1 for a bad UID, a template that cannot be read or
    // written, a failed move or change of directory; otherwise the failing
    // tool's result. Leaves "so" as the current directory once it got there.
    int run();

    // Reads TEMPLATES + `name`, fills it with `values` and writes so/`name`
    // in the current directory. 0 or -1 (after a message).
    int copyLauncherTemplate(const String& name, std::initializer_list<String> values);

    // "0x" followed by exactly eight hexadecimal digits.
    static bool isValidUid(const String& uid);

    // Fills a printf-style template without printf: each %s takes the next
    // value, %% gives "%"; any other conversion, and a %s beyond the values,
    // is copied as written. Well-formed templates come out as printf would
    // write them, and template text can never read what was not passed.
    static String fillTemplate(const String& text, const Vector<String>& values);

private:
    // The launcher sources in so/, filled for this project; -1 on failure.
    int fillLaunchers(const String& name, const String& uid, const String& programPath);
    ProjectManager& m_manager;
    String m_templates;
};

} // namespace Brask
