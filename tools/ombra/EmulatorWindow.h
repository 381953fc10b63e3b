#pragma once
// The stand-in emulator's window: a phone screen of the requested size that
// shows which program and resource files it was given.

#include <QString>
#include <QWidget>

class EmulatorWindow : public QWidget {
    Q_OBJECT
public:
    EmulatorWindow(const QString& program, const QString& resources, int width, int height,
                   QWidget* parent = nullptr);

    // One line per file: its path and size, or that it is missing.
    static QString describeFile(const QString& role, const QString& path);
};
