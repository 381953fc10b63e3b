#include "app/CompilerLauncher.h"

#include <QSettings>

namespace CompilerLauncher {

namespace {

const char* const kKey = "build/compilerLauncher";

} // namespace

QString stored()
{
    return QSettings().value(QLatin1String(kKey)).toString();
}

void store(const QString& launcher)
{
    QSettings settings;
    if (launcher.trimmed().isEmpty())
        settings.remove(QLatin1String(kKey));
    else
        settings.setValue(QLatin1String(kKey), launcher);
}

bool overridden()
{
    return qEnvironmentVariableIsSet(kEnvironmentVariable);
}

QString effective()
{
    return overridden() ? qEnvironmentVariable(kEnvironmentVariable) : stored();
}

} // namespace CompilerLauncher
