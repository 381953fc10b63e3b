#pragma once
// Help > "Varnel Help..." and "About Varnel...", and Tools > "Preferences..."
// with the write of bin/config.xml that follows its Ok.

#include <QString>

namespace Brask {
class ProjectManager;
}
class DialogRunner;
class QIcon;
class ToolStarter;
class UserDialogs;

// Opens ROOT/docs/index.html in the desktop's browser; a missing page or a
// failed start is said in a "VarBuild" box.
void showHelpPage(const QString& root, ToolStarter& starter, UserDialogs& dialogs);
void showAboutBox(UserDialogs& dialogs);
// Runs the preferences dialog; after Ok the configuration is written, and a
// failed write is said (the values stay in memory).
void editPreferences(Brask::ProjectManager& manager, UserDialogs& dialogs, DialogRunner& runner, const QIcon& icon,
                     const QString& root);
