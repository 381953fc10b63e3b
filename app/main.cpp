// Process entry: check the installation root, take the project argument,
// build the window inside ROOT/bin, then run from ROOT/projects.

#include "app/Buildtool.h"
#include "app/dialogs/QtUserDialogs.h"
#include "app/phone/BusConnector.h"
#include "core/CommandExecutor.h"
#include "core/ProjectManager.h"
#include "core/Startup.h"
#include "kvutil/KVUtil.h"
#include "net/HttpGet.h"
#include "platform/ProgramSearch.h"
#include "util/Diagnostics.h"
#include "util/Version.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// Whether Qt can show a window. Without this check QApplication would abort
// on a headless machine instead of reporting the real problem.
bool displayAvailable()
{
    // A platform chosen explicitly (offscreen, vnc, ...) is trusted to work.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return true;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

// Whether the X display that Qt would open accepts a connection. Asked before
// the application object exists: Qt prints lines of its own about the
// display and its platform plugin before it gives up, which would bury ours.
// Only checked when X is what Qt will use; a chosen platform or a Wayland
// session decides for itself.
bool xDisplayOpens()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((platform && *platform && std::strcmp(platform, "xcb") != 0) || (wayland && *wayland))
        return true;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool opened = connection && xcb_connection_has_error(connection) == 0;
    if (connection)
        xcb_disconnect(connection);
    return opened;
}

void reportUnopenedDisplay()
{
    const char* display = std::getenv("DISPLAY");
    std::fprintf(stderr,
                 "varbuild: cannot open the display%s%s%s; varbuild-cli builds without one.\n",
                 display && *display ? " \"" : "", display && *display ? display : "",
                 display && *display ? "\"" : "");
}

int refuseRoot(int argc, char** argv, const std::string& refusal)
{
    std::fprintf(stderr, "%s\n", refusal.c_str());
    if (displayAvailable() && xDisplayOpens()) {
        QApplication app(argc, argv);
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error!"), QString::fromLocal8Bit(refusal.c_str()),
                        QMessageBox::Ok);
        box.exec();
    }
    return 1;
}

std::string usage()
{
    return std::string("usage: varbuild [PROJECT.vnp]\n"
                       "       varbuild --help | --version\n"
                       "\n"
                       "Opens the window of the Varnel kit's build tool, with the project file\n"
                       "PROJECT.vnp when one is given (varbuild-cli builds without a window).\n"
                       "\n"
                       "Options:\n"
                       "  -h, --help   show this text\n"
                       "  --version    print the version\n"
                       "\n"
                       "Environment:\n"
                       "  VARNELDIR\n"
                       "      the kit installation; when unset, the kit whose bin directory holds\n"
                       "      this program\n"
                       "  DISPLAY\n"
                       "      the X display to show the window on (or WAYLAND_DISPLAY)\n"
                       "  ")
        + Brask::HttpTimeoutVariable
        + "\n"
          "      seconds the update checks wait for the update server (1 to 86400,\n"
          "      default 30)\n"
          "  "
        + Brask::kCompilerLauncherVariable
        + "\n"
          "      a command put in front of every compile, such as ccache or distcc;\n"
          "      overrides the compiler launcher of the preferences when set\n";
}

// A project named on the command line that cannot be opened: said on standard
// error and in a box, and the window starts without it.
void reportUnopenedProject(const std::string& message, UserDialogs* dialogs)
{
    Brask::diagEndLine();
    std::fprintf(stderr, "%s\n", message.c_str());
    if (dialogs)
        dialogs->showMessage(UserDialogs::Kind::Warning, QStringLiteral("VarBuild"),
                             QString::fromLocal8Bit(message.c_str()));
}

QtMessageHandler g_previousHandler = nullptr;

// Only installed while the application object is created, when the only
// fatal message is the platform plugin's failure to open the display.
void refuseUnopenedDisplay(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtFatalMsg) {
        if (g_previousHandler)
            g_previousHandler(type, context, text);
        else
            std::fprintf(stderr, "%s\n", qPrintable(text));
        return;
    }
    reportUnopenedDisplay();
    std::_Exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    KVUtil::installAllocationFailureHandler();
    // Options are answered before anything else: they need neither a kit nor
    // a display.
    const Brask::StartupArguments arguments = Brask::readStartupArguments(argc, argv);
    switch (arguments.action) {
    case Brask::StartupArguments::Action::Help:
        std::fputs(usage().c_str(), stdout);
        return 0;
    case Brask::StartupArguments::Action::Version:
        std::printf("varbuild %s\n", Brask::VarBuildVersion);
        return 0;
    case Brask::StartupArguments::Action::BadOption:
        std::fprintf(stderr, "%s\n\n%s", arguments.refusal.c_str(), usage().c_str());
        return 2;
    case Brask::StartupArguments::Action::Open:
        break;
    }
    Brask::StartupInfo info;
    if (!Brask::prepareStartup(arguments.project, info, Platform::runningProgramDirectory()))
        return refuseRoot(argc, argv, info.refusal);
    // Said at once, so it is on standard error even when no window can open.
    std::string unopened;
    if (!info.projectPath.empty()) {
        const std::string problem = Brask::projectFileProblem(info.projectPath);
        if (!problem.empty()) {
            unopened = Brask::unreadableProjectMessage(info.projectPath, problem);
            reportUnopenedProject(unopened, nullptr);
            info.projectPath.clear();
        }
    }
    if (!displayAvailable()) {
        std::fprintf(stderr, "varbuild: no display to show the window on; varbuild-cli builds without one.\n");
        return 1;
    }

    // A DISPLAY that names a display which cannot be opened (stale over ssh,
    // refused by the server): one plain line and status 1. Should the
    // display go away between the check and Qt's own attempt, the handler
    // still turns the toolkit's abort into the same line.
    if (!xDisplayOpens()) {
        reportUnopenedDisplay();
        return 1;
    }
    g_previousHandler = qInstallMessageHandler(refuseUnopenedDisplay);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_previousHandler);
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("varbuild"));
    // One name for the user's settings file (~/.config/Varnel/VarBuild.conf)
    // and the display name, which untitled boxes show (About). No display
    // name of its own: on X11 it would be appended to every box's title. The
    // icon goes to every window and dialog, the start-up's progress dialog
    // included; ROOT/bin is current.
    QCoreApplication::setOrganizationName(QStringLiteral("Varnel"));
    QCoreApplication::setApplicationName(QStringLiteral("VarBuild"));
    QApplication::setWindowIcon(QIcon(QStringLiteral("gfx/ikon16x16.png")));
    // The window's own message-box wrapper, so its boxes and these are one kind.
    QtUserDialogs dialogs;
    if (!unopened.empty())
        dialogs.showMessage(UserDialogs::Kind::Warning, QStringLiteral("VarBuild"),
                            QString::fromLocal8Bit(unopened.c_str()));
    Buildtool window(QString::fromStdString(info.root), QString::fromStdString(info.projectPath), &dialogs);
    // A file that opens but holds no project (the reader has said why).
    if (!info.projectPath.empty() && !window.projectManager().getProject())
        reportUnopenedProject(Brask::unreadableProjectMessage(info.projectPath, "it is not a project file"),
                              &dialogs);
    // A missing projects directory leaves the current directory as it is.
    if (::chdir((info.root + "/projects").c_str()) != 0) {
    }
    window.showMaximized();
    QObject::connect(&app, &QApplication::lastWindowClosed, &window, &Buildtool::doQuit);
    QObject::connect(&window, &Buildtool::quitting, &app, [] { QCoreApplication::exit(0); });
    const int status = app.exec();
    // A connection to a system bus that never answered may still hang in
    // D-Bus's own thread, and its clean-up at exit would wait for it without
    // end. Nothing is left to write: the project was saved on quitting.
    if (BusConnector::pending() > 0) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
