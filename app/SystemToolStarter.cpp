#include "app/SystemToolStarter.h"

#include "platform/ProcessRunner.h"

#include <QDesktopServices>

bool SystemToolStarter::startDetached(const std::string& commandLine, std::string* error)
{
    return Platform::startDetached(commandLine, error);
}

bool SystemToolStarter::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}
