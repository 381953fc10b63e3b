#include "app/dialogs/ConfigDialog.h"

#include "app/CompilerLauncher.h"
#include "app/dialogs/UserDialogs.h"
#include "core/config/Config.h"
#include "ui_ConfigDialog.h"
#include "util/PathUtil.h"

namespace {

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

ConfigDialog::ConfigDialog(Brask::Config& config, UserDialogs& dialogs, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
    , m_ui(std::make_unique<Ui::ConfigDialog>())
    , m_config(config)
    , m_dialogs(dialogs)
{
    m_ui->setupUi(this);
    // Plain text on purpose: appending a paragraph would take a command line
    // holding "<...>" for markup and store it mangled.
    QStringList lines;
    for (const Brask::FileType& type : config.fileTypes)
        lines << fromStd(type.extension) + QLatin1Char('\t') + fromStd(type.cmdLine);
    m_ui->editFileType->setPlainText(lines.join(QLatin1Char('\n')));
    m_ui->checkUpdates->setChecked(config.autoUpdates);
    m_ui->lineInclude->setText(fromStd(Brask::join(config.includeDirectories, ";")));
    m_ui->lineLibDirs->setText(fromStd(Brask::join(config.libraryDirectories, ";")));
    m_ui->lineDefLibs->setText(fromStd(Brask::join(config.defaultLibraries, ";")));
    m_ui->lineLauncher->setText(CompilerLauncher::stored());
    if (CompilerLauncher::overridden())
        m_ui->labelLauncherOverride->setText(
            tr("%1 is set and overrides this setting: \"%2\"")
                .arg(QLatin1String(CompilerLauncher::kEnvironmentVariable), CompilerLauncher::effective()));
    m_ui->labelLauncherOverride->setVisible(CompilerLauncher::overridden());
}

ConfigDialog::~ConfigDialog() = default;

void ConfigDialog::accept()
{
    const std::string include = m_ui->lineInclude->text().toStdString();
    const std::string libraryDirs = m_ui->lineLibDirs->text().toStdString();
    const std::string libraries = m_ui->lineDefLibs->text().toStdString();

    KVUtil::Vector<Brask::FileType> types;
    for (const std::string& line : Brask::split(m_ui->editFileType->toPlainText().toStdString(), "\n")) {
        const KVUtil::Vector<std::string> pieces = Brask::split(line, "\t");
        if (pieces.size() != 2) {
            m_dialogs.showMessage(
                UserDialogs::Kind::Warning, tr("Error"),
                tr("Incorrectly formed command line. Use a tab between the extension and the command line."));
            return;
        }
        types.push_back({pieces[0], pieces[1]});
    }

    m_config.autoUpdates = m_ui->checkUpdates->isChecked();
    m_config.includeDirectories = Brask::split(include, ";");
    m_config.libraryDirectories = Brask::split(libraryDirs, ";");
    m_config.defaultLibraries = Brask::split(libraries, ";");
    m_config.fileTypes = std::move(types);
    // The user's own setting, not the installation's: stored at once.
    CompilerLauncher::store(m_ui->lineLauncher->text());
    QDialog::accept();
}
