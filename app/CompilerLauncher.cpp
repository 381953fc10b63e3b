#include "app/CompilerLauncher.h"

#include <QSettings>

namespace CompilerLauncher {

namespace {

const char* const kKey = "build/compilerLauncher";

QSettings userSettings()
{
    return QSettings(QStringLiteral("Varnel"), QStringLiteral("VarBuild"));
}

} // namespace

QString stored()
{
    return userSettings().value(QLatin1String(kKey)).toString();
}

void store(const QString& launcher)
{
    QSettings settings = userSettings();
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
