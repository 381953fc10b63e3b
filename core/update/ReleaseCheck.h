#pragma once
// The release check's verdict: which box (if any) the answer of the
// latest-release request calls for. Shared by the window's updateCheck and
// varbuild-cli check-release, so both show the same thing.

#include "kvutil/KVUtil.h"

#include <string>

namespace Brask {

struct ReleaseVerdict {
    enum Kind { Warning, Information };

    bool show = false;
    Kind kind = Information;
    std::string caption;
    std::string text;
    // "serverVersion: %d\n" is printed before the box (the two rows where the
    // server's number is below the installed one).
    bool printServerVersion = false;
    // The server's number as read from the answer (0 when empty or no number).
    int serverVersion = 0;
};

// `fetchResult` is what UpdateManager::fetchLatestRelease returned, `body` the
// text it filled in, `revision` UpdateManager::packageRevision().
ReleaseVerdict checkRelease(int fetchResult, const KVUtil::String& body, int revision, bool silent);

// A version number as the first line of a version file is read: the text up to
// the first line feed, at most 31 characters, read by strtoul32
// (util/Strtoul32.h) and taken as a signed 32-bit value: too many digits
// saturate to -1 instead of wrapping, "-5" gives -5. No digits give 0.
int parseVersionText(const KVUtil::String& text);

} // namespace Brask
