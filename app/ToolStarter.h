#pragma once
// Starting programs the window does not wait for (editors, the profile
// viewer, the emulator) and opening the help page. Tests replace it to see
// what would have been started.

#include <QUrl>

#include <string>

class ToolStarter {
public:
    virtual ~ToolStarter() = default;

    // Starts `commandLine` detached; false with a reason when it cannot run.
    virtual bool startDetached(const std::string& commandLine, std::string* error) = 0;
    // Hands `url` to the desktop's opener; false when nothing could open it.
    virtual bool openUrl(const QUrl& url) = 0;
};
