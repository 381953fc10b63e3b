#include "core/update/ReleaseCheck.h"

#include "core/update/UpdateManager.h"
#include "util/Strtoul32.h"

#include <climits>

namespace Brask {

int parseVersionText(const KVUtil::String& text)
{
    // Only the first line counts, and only its first 31 characters.
    size_t end = text.find('\n');
    if (end == KVUtil::String::npos)
        end = text.size();
    if (end > 31)
        end = 31;
    // Read as the 32-bit strtoul reads it: too many digits saturate (-1 as a
    // signed value) instead of wrapping.
    return toInt32(text.substr(0, end));
}

ReleaseVerdict checkRelease(int fetchResult, const KVUtil::String& body, int revision, bool silent)
{
    ReleaseVerdict verdict;
    if (fetchResult == 0) {
        if (!silent) {
            verdict.show = true;
            verdict.kind = ReleaseVerdict::Warning;
            verdict.caption = "The check for updates could not be performed";
            verdict.text = "Something went wrong with checking for updates. Check network cables, firewalls and "
                           "that sort of stuff.";
        }
        return verdict;
    }
    const int server = parseVersionText(body);
    verdict.serverVersion = server;
    verdict.kind = ReleaseVerdict::Information;
    if (server > revision) {
        verdict.show = true;
        verdict.caption = "New update available";
        verdict.text = std::string("A new version of Varnel is available for download at ") + MakerWebSite;
    } else if (server == revision) {
        if (!silent) {
            verdict.show = true;
            verdict.caption = "There are no new updates";
            verdict.text = "You are running the latest version of Varnel.";
        }
    } else if (server < 1) {
        verdict.show = true;
        verdict.printServerVersion = true;
        verdict.caption = "Network error";
        verdict.text = "Could not connect to server to check for updates";
    } else {
        verdict.show = true;
        verdict.printServerVersion = true;
        verdict.caption = "Dude!";
        verdict.text = "You're running a future version of Varnel, potentially doing serious damage to the "
                       "spacetime continuum!";
    }
    return verdict;
}

} // namespace Brask
