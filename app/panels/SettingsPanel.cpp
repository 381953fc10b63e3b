#include "app/panels/SettingsPanel.h"

#include "app/dialogs/UserDialogs.h"
#include "core/ProjectManager.h"
#include "ui_Buildtool.h"

#include <QScrollArea>
#include <QSignalBlocker>

#include <cstdlib>

namespace {

bool isTrue(const std::string& value)
{
    return value == "true" || value == "1";
}

// The screen fields' limits, inclusive.
constexpr unsigned long MinScreen = 128;
constexpr unsigned long MaxScreen = 1024;

} // namespace

SettingsPanel::SettingsPanel(Ui::BuildtoolClass& ui, Brask::ProjectManager& manager, UserDialogs& dialogs,
                             QObject* parent)
    : QObject(parent)
    , m_ui(ui)
    , m_manager(manager)
    , m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("settingsPanel"));
    // The two pages decide the window's minimum height (the Settings page
    // alone needs more than a 768-pixel screen has). In scroll areas they no
    // longer do: the window fits a small screen and the output pane can
    // have most of the height; a page scrolls when it is given less.
    QTabWidget* tabs = ui.tabPane;
    const int current = tabs->currentIndex();
    for (QWidget* page : {ui.tab, ui.tab_2}) {
        const int index = tabs->indexOf(page);
        if (index < 0)
            continue;
        const QString title = tabs->tabText(index);
        tabs->removeTab(index);
        auto* scroller = new QScrollArea;
        scroller->setObjectName(page->objectName() + QStringLiteral("Scroller"));
        scroller->setWidgetResizable(true);
        scroller->setFrameShape(QFrame::NoFrame);
        scroller->setWidget(page);
        tabs->insertTab(index, scroller, title);
    }
    tabs->setCurrentIndex(current);
    connect(ui.appRadio, &QRadioButton::toggled, this, &SettingsPanel::appRadioToggled);
    connect(ui.checkWerror, &QCheckBox::stateChanged, this, &SettingsPanel::werrorStateChanged);
    connect(ui.checkWall, &QCheckBox::stateChanged, this, &SettingsPanel::wallStateChanged);
    connect(ui.checkWextra, &QCheckBox::stateChanged, this, &SettingsPanel::wextraStateChanged);
    connect(ui.checkDeadCode, &QCheckBox::stateChanged, this, &SettingsPanel::deadCodeStateChanged);
    connect(ui.checkIgnoreInclude, &QCheckBox::stateChanged, this, &SettingsPanel::ignoreIncludesStateChanged);
    connect(ui.checkIgnoreLibDirs, &QCheckBox::stateChanged, this, &SettingsPanel::ignoreLibDirsStateChanged);
    connect(ui.checkIgnoreLibs, &QCheckBox::stateChanged, this, &SettingsPanel::ignoreLibsStateChanged);
    connect(ui.lineOutputPath, &QLineEdit::editingFinished, this, &SettingsPanel::outputPathEdited);
    connect(ui.lineAddInclude, &QLineEdit::editingFinished, this, &SettingsPanel::addIncDirEdited);
    connect(ui.lineAddLib, &QLineEdit::editingFinished, this, &SettingsPanel::addLibDirEdited);
    connect(ui.lineLibs, &QLineEdit::editingFinished, this, &SettingsPanel::addLibsEdited);
    connect(ui.lineGcc, &QLineEdit::editingFinished, this, &SettingsPanel::addGccEdited);
    connect(ui.lineResourcer, &QLineEdit::editingFinished, this, &SettingsPanel::addResourcerEdited);
    connect(ui.lineLinker, &QLineEdit::editingFinished, this, &SettingsPanel::addLinkerEdited);
    connect(ui.lineScreenWidth, &QLineEdit::editingFinished, this, &SettingsPanel::screenWidthChanged);
    connect(ui.lineScreenHeight, &QLineEdit::editingFinished, this, &SettingsPanel::screenHeightChanged);
}

void SettingsPanel::setProperty(const char* key, const std::string& value)
{
    if (Brask::Project* project = m_manager.getProject())
        project->setProperty(key, value);
}

void SettingsPanel::setFlag(const char* key, int state)
{
    setProperty(key, state == Qt::Checked ? "true" : "false");
}

void SettingsPanel::setText(const char* key, const QLineEdit* edit)
{
    setProperty(key, edit->text().toStdString());
}

void SettingsPanel::werrorStateChanged(int state) { setFlag("Werror", state); }
void SettingsPanel::wallStateChanged(int state) { setFlag("Wall", state); }
void SettingsPanel::wextraStateChanged(int state) { setFlag("Wextra", state); }
void SettingsPanel::deadCodeStateChanged(int state) { setFlag("deadCodeElim", state); }
void SettingsPanel::ignoreIncludesStateChanged(int state) { setFlag("ignoreDefaultIncludeDirectories", state); }
void SettingsPanel::ignoreLibDirsStateChanged(int state) { setFlag("ignoreDefaultLibraryDirectories", state); }
void SettingsPanel::ignoreLibsStateChanged(int state) { setFlag("ignoreDefaultLibraries", state); }

void SettingsPanel::outputPathEdited() { setText("outputPath", m_ui.lineOutputPath); }
void SettingsPanel::addIncDirEdited() { setText("additionalIncludeDirectories", m_ui.lineAddInclude); }
void SettingsPanel::addLibDirEdited() { setText("additionalLibraryDirectories", m_ui.lineAddLib); }
void SettingsPanel::addLibsEdited() { setText("additionalDependencies", m_ui.lineLibs); }
void SettingsPanel::addGccEdited() { setText("extraCmd", m_ui.lineGcc); }
void SettingsPanel::addResourcerEdited() { setText("extraResourcer", m_ui.lineResourcer); }
void SettingsPanel::addLinkerEdited() { setText("extraLinker", m_ui.lineLinker); }

void SettingsPanel::appRadioToggled(bool state)
{
    setProperty("configType", state ? "app" : "lib");
    applyBuildType(state);
}

void SettingsPanel::applyBuildType(bool application)
{
    m_ui.lineOutputPath->setEnabled(!application);
    m_ui.outputPathLabel->setEnabled(!application);
    m_ui.checkDeadCode->setEnabled(application);
    emit buildTypeChanged();
}

void SettingsPanel::checkScreenSize(QLineEdit* edit, const char* key, int fallback, const QString& title,
                                    const QString& text)
{
    if (m_checkingScreen)
        return;
    // strtoul's reading: leading blanks skipped, digits up to the first other
    // character, a minus sign wrapping to a huge value.
    const std::string typed = edit->text().toStdString();
    unsigned long value = std::strtoul(typed.c_str(), nullptr, 10);
    if (value < MinScreen || value > MaxScreen) {
        m_checkingScreen = true;
        m_dialogs.showMessage(UserDialogs::Kind::Warning, title, text);
        m_checkingScreen = false;
        value = static_cast<unsigned long>(fallback);
    }
    const std::string stored = std::to_string(value);
    setProperty(key, stored);
    edit->setText(QString::fromStdString(stored));
}

void SettingsPanel::screenWidthChanged()
{
    // The emulator's own default is 240x320 (see "Use as target"), so the
    // width falls back to 240 and the box says so.
    checkScreenSize(m_ui.lineScreenWidth, "screenWidth", 240, tr("Incorrect screen width"),
                    tr("The screen width is outside of allowed limits (128x128 - 1024x1024) - the emulator will "
                       "default to 240"));
}

void SettingsPanel::screenHeightChanged()
{
    checkScreenSize(m_ui.lineScreenHeight, "screenHeight", 320, tr("Incorrect screen height"),
                    tr("The screen height is outside of allowed limits (128x128 - 1024x1024) - the emulator will "
                       "default to 320"));
}

void SettingsPanel::commitEdits()
{
    Brask::Project* project = m_manager.getProject();
    if (!project)
        return;
    const struct {
        QLineEdit* edit;
        const char* key;
    } fields[] = {
        {m_ui.lineOutputPath, "outputPath"},
        {m_ui.lineAddInclude, "additionalIncludeDirectories"},
        {m_ui.lineAddLib, "additionalLibraryDirectories"},
        {m_ui.lineLibs, "additionalDependencies"},
        {m_ui.lineGcc, "extraCmd"},
        {m_ui.lineResourcer, "extraResourcer"},
        {m_ui.lineLinker, "extraLinker"},
    };
    // Only what the user typed since the fields were filled is written: an
    // untouched field must not add an empty property to the project file.
    for (const auto& field : fields) {
        if (field.edit->isModified() && field.edit->text().toStdString() != project->peekProperty(field.key))
            setText(field.key, field.edit);
        field.edit->setModified(false);
    }
    if (m_ui.lineScreenWidth->isModified())
        screenWidthChanged();
    if (m_ui.lineScreenHeight->isModified())
        screenHeightChanged();
    m_ui.lineScreenWidth->setModified(false);
    m_ui.lineScreenHeight->setModified(false);
}

void SettingsPanel::clearFields()
{
    for (QLineEdit* edit : {m_ui.lineOutputPath, m_ui.lineAddInclude, m_ui.lineAddLib, m_ui.lineLibs, m_ui.lineGcc,
                            m_ui.lineResourcer, m_ui.lineLinker, m_ui.lineScreenWidth, m_ui.lineScreenHeight})
        edit->clear();
    // Nothing is written: there is no project to write to.
    for (QCheckBox* box : {m_ui.checkWerror, m_ui.checkWall, m_ui.checkWextra, m_ui.checkDeadCode,
                           m_ui.checkIgnoreInclude, m_ui.checkIgnoreLibDirs, m_ui.checkIgnoreLibs}) {
        const QSignalBlocker blocker(box);
        box->setChecked(false);
    }
}

void SettingsPanel::loadFromProject()
{
    Brask::Project* project = m_manager.getProject();
    if (!project)
        return;
    auto text = [project](const char* key) { return QString::fromStdString(project->getProperty(key)); };

    m_ui.checkWall->setChecked(isTrue(project->getProperty("Wall")));
    m_ui.checkWerror->setChecked(isTrue(project->getProperty("Werror")));
    m_ui.checkWextra->setChecked(isTrue(project->getProperty("Wextra")));

    const std::string type = project->getProperty("configType");
    if (type == "app") {
        m_ui.appRadio->setChecked(true);
        // The field is disabled here, but it must not go on showing the
        // previous project's path, which a switch to Library would then
        // offer as this project's own.
        m_ui.lineOutputPath->setText(QString::fromStdString(project->peekProperty("outputPath")));
        applyBuildType(true);
    } else if (type == "lib") {
        m_ui.libRadio->setChecked(true);
        m_ui.lineOutputPath->setText(text("outputPath"));
        applyBuildType(false);
    }

    m_ui.checkDeadCode->setChecked(isTrue(project->getProperty("deadCodeElim")));

    m_ui.lineAddInclude->setText(text("additionalIncludeDirectories"));
    m_ui.lineAddLib->setText(text("additionalLibraryDirectories"));
    m_ui.lineLibs->setText(text("additionalDependencies"));
    m_ui.lineGcc->setText(text("extraCmd"));
    m_ui.lineResourcer->setText(text("extraResourcer"));
    m_ui.lineLinker->setText(text("extraLinker"));

    m_ui.checkIgnoreInclude->setChecked(isTrue(project->getProperty("ignoreDefaultIncludeDirectories")));
    m_ui.checkIgnoreLibDirs->setChecked(isTrue(project->getProperty("ignoreDefaultLibraryDirectories")));
    m_ui.checkIgnoreLibs->setChecked(isTrue(project->getProperty("ignoreDefaultLibraries")));

    m_ui.lineScreenWidth->setText(text("screenWidth"));
    m_ui.lineScreenHeight->setText(text("screenHeight"));
}
