#include "app/RecentProjects.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

#include <algorithm>

namespace {

const char* const SettingsKey = "recentProjects";

QString absolute(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// "&3 game.vnp - /home/u/game"; an "&" of the path must not become a mnemonic.
QString entryText(int index, const QString& path, bool missing)
{
    const QFileInfo info(path);
    QString text = QStringLiteral("&%1 %2 - %3")
                       .arg(index + 1)
                       .arg(info.fileName().replace('&', QStringLiteral("&&")),
                            info.path().replace('&', QStringLiteral("&&")));
    if (missing)
        text += QLatin1Char(' ') + RecentProjects::tr("(missing)");
    return text;
}

} // namespace

RecentProjects::RecentProjects(QMenu* menu, QObject* parent)
    : QObject(parent)
    , m_menu(menu)
{
    m_menu->setObjectName(QStringLiteral("menuRecent_Projects"));
    m_menu->setTitle(tr("&Recent Projects"));
    connect(m_menu, &QMenu::aboutToShow, this, &RecentProjects::refill);
    refill();
}

QStringList RecentProjects::stored()
{
    QStringList paths;
    for (const QString& path : QSettings().value(QLatin1String(SettingsKey)).toStringList())
        if (!path.isEmpty() && !paths.contains(path) && paths.size() < MaxEntries)
            paths << path;
    return paths;
}

void RecentProjects::store(const QStringList& paths)
{
    QSettings().setValue(QLatin1String(SettingsKey), paths);
}

void RecentProjects::add(const QString& path)
{
    const QString entry = absolute(path);
    QStringList paths = stored();
    // Every build saves the project: no write when nothing moves.
    if (!paths.isEmpty() && paths.first() == entry)
        return;
    paths.removeAll(entry);
    paths.prepend(entry);
    store(paths.mid(0, MaxEntries));
    refill();
}

void RecentProjects::removeMissing()
{
    QStringList paths = stored();
    paths.erase(std::remove_if(paths.begin(), paths.end(), [](const QString& p) { return !QFileInfo::exists(p); }),
                paths.end());
    store(paths);
    refill();
}

void RecentProjects::clear()
{
    store({});
    refill();
}

void RecentProjects::refill()
{
    m_menu->clear();
    const QStringList paths = stored();
    bool anyMissing = false;
    for (int i = 0; i < paths.size(); ++i) {
        const QString path = paths[i];
        const bool missing = !QFileInfo::exists(path);
        anyMissing = anyMissing || missing;
        QAction* entry = m_menu->addAction(entryText(i, path, missing));
        entry->setObjectName(QStringLiteral("actionRecent_%1").arg(i + 1));
        entry->setData(path);
        entry->setToolTip(path);
        entry->setEnabled(!missing);
        connect(entry, &QAction::triggered, this, [this, path] { emit openRequested(path); });
    }
    if (!paths.isEmpty())
        m_menu->addSeparator();
    if (anyMissing) {
        QAction* removeGone = m_menu->addAction(tr("Remove Missing Projects"), this, &RecentProjects::removeMissing);
        removeGone->setObjectName(QStringLiteral("actionRemove_missing_projects"));
    }
    QAction* clearList = m_menu->addAction(tr("Clear list"), this, &RecentProjects::clear);
    clearList->setObjectName(QStringLiteral("actionClear_list"));
    clearList->setEnabled(!paths.isEmpty());
}
