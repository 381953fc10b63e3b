#pragma once
// Starts programs through the platform layer and URLs through the desktop.

#include "app/ToolStarter.h"

class SystemToolStarter : public ToolStarter {
public:
    bool startDetached(const std::string& commandLine, std::string* error) override;
    bool openUrl(const QUrl& url) override;
};
