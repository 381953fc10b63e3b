// Grabs the main window with a project open to a PNG file, offscreen:
//
//   varbuild-screenshot ROOT PROJECT OUTPUT.png [WIDTH HEIGHT]
//
// Used by tools/screenshot.sh to keep docs/screenshot.png current.

#include "Buildtool.h"
#include "UserDialogs.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>

namespace {

// Boxes would wait for a click nobody gives: print them instead.
class PrintingDialogs : public UserDialogs {
public:
    void showMessage(Kind, const QString& title, const QString& text) override
    {
        std::fprintf(stderr, "[%s] %s\n", qPrintable(title), qPrintable(text));
    }
    QString getSaveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString getOpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 6) {
        std::fprintf(stderr, "usage: varbuild-screenshot ROOT PROJECT OUTPUT.png [WIDTH HEIGHT]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VARNELDIR", argv[1]);
    QApplication app(argc, argv);
    const QString root = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString project = QDir(QDir::currentPath()).absoluteFilePath(QString::fromLocal8Bit(argv[2]));
    const QString output = QDir(QDir::currentPath()).absoluteFilePath(QString::fromLocal8Bit(argv[3]));
    if (!QDir::setCurrent(root + "/bin")) {
        std::fprintf(stderr, "no bin directory under %s\n", argv[1]);
        return 1;
    }

    PrintingDialogs dialogs;
    Buildtool window(root, project, &dialogs);
    window.resize(argc == 6 ? std::atoi(argv[4]) : 1024, argc == 6 ? std::atoi(argv[5]) : 720);
    window.show();
    // A real build of the project fills the output pane.
    window.build(false);
    QApplication::processEvents();
    if (!window.grab().save(output)) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
