#include "app/HelpMenu.h"

#include "app/ToolStarter.h"
#include "app/dialogs/ConfigDialog.h"
#include "app/dialogs/DialogRunner.h"
#include "app/dialogs/UserDialogs.h"
#include "core/ProjectManager.h"
#include "util/Version.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QUrl>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("Buildtool", text);
}

} // namespace

void showHelpPage(const QString& root, ToolStarter& starter, UserDialogs& dialogs)
{
    const QString path = root + QStringLiteral("/docs/index.html");
    const QString address = QStringLiteral("file://") + path;
    if (!QFileInfo::exists(path)) {
        dialogs.showMessage(UserDialogs::Kind::Information, tr("VarBuild"), tr("Could not find %1.").arg(address));
        return;
    }
    if (!starter.openUrl(QUrl::fromLocalFile(path)))
        dialogs.showMessage(UserDialogs::Kind::Information, tr("VarBuild"), tr("Unknown error opening documentation."));
}

void showAboutBox(UserDialogs& dialogs)
{
    dialogs.showMessage(UserDialogs::Kind::About, QString(),
                        QStringLiteral("<h1 align=\"center\">Varnel<br/>Build Tool</h1>"
                                       "<h2 align=\"center\">Beta 3</h2>"
                                       "<p align=\"center\">VarBuild %1</p>"
                                       "<p align=\"center\">Made by Kestrane.</p>")
                            .arg(QLatin1String(Brask::VarBuildVersion)));
}

void editPreferences(Brask::ProjectManager& manager, UserDialogs& dialogs, DialogRunner& runner, const QIcon& icon,
                     const QString& root)
{
    ConfigDialog dialog(manager.getConfig(), dialogs);
    dialog.setWindowIcon(icon);
    if (runner.run(dialog) != QDialog::Accepted)
        return;
    std::string error;
    if (!manager.writeConfig(&error))
        dialogs.showMessage(UserDialogs::Kind::Warning, tr("VarBuild"),
                            tr("The configuration could not be saved to %1: %2. The new settings apply until "
                               "VarBuild ends.")
                                .arg(root + QStringLiteral("/bin/config.xml"), QString::fromStdString(error)));
}
