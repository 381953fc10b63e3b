#pragma once
// The window's actions beyond its form: Build Changed, Stop build and its
// Esc, the message walk, Packages..., File > Recent Projects, the Jobs field
// and the status bar's build summary; and F10 to the menu bar.

class QAction;
class QLabel;
class QMainWindow;
class QShortcut;
class RecentProjects;
namespace Ui {
class BuildtoolClass;
}

struct WindowActions {
    QAction* importVisualStudio = nullptr;
    QAction* deliver = nullptr;
    QAction* buildChanged = nullptr;
    QAction* stop = nullptr;
    // Esc anywhere in the window while a build or a send may be stopped;
    // a dialog's Esc stays the dialog's.
    QShortcut* stopShortcut = nullptr;
    QAction* nextMessage = nullptr;
    QAction* previousMessage = nullptr;
    QAction* packages = nullptr;
    QLabel* buildSummary = nullptr;
    RecentProjects* recent = nullptr;
};

// What the form cannot say: the menu bar's image anchored in ROOT/bin (the
// current directory at construction) and the splitter's shares.
void prepareForm(Ui::BuildtoolClass& ui);

// Creates them in `window`'s menus, toolbar and status bar; the caller
// connects them.
WindowActions addWindowActions(QMainWindow* window, Ui::BuildtoolClass& ui);
