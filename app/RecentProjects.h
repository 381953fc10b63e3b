#pragma once
// File > Recent Projects: the last project files opened, saved or imported,
// most recent first. The list lives in the user's settings file, so every
// window of the user shares it; the menu is refilled each time it opens, so
// it shows what another window added and which files have gone since.

#include <QObject>
#include <QStringList>

class QAction;
class QMenu;

class RecentProjects : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxEntries = 8;

    // Fills `menu` (object name menuRecent_Projects) and keeps it current.
    explicit RecentProjects(QMenu* menu, QObject* parent = nullptr);

    // The stored list: absolute paths, most recent first.
    static QStringList stored();

    QMenu* menu() const { return m_menu; }

public slots:
    // Puts `path` first (as an absolute path), dropping an older entry for
    // the same file and any beyond the eighth.
    void add(const QString& path);
    void removeMissing();
    void clear();
    void refill();

signals:
    // An existing entry was chosen.
    void openRequested(const QString& path);

private:
    static void store(const QStringList& paths);

    QMenu* m_menu;
};
