// The platform factory: which adapter, and where its entries go, from the host's environment.
#include "platform/Host.h"
#include "prefs/LoginIntegration.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace tolvane {
namespace {

// Just enough of a host for the factory, which reads the environment and the home folder.
class MinimalHost final : public Host {
public:
    MinimalHost(QProcessEnvironment environment, QString home)
        : m_environment(std::move(environment)), m_home(std::move(home)),
          m_settings(m_settingsFolder.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat)
    {
    }

    bool launchTask(const TaskSpec&, OutputHandler, QString* failure) override
    {
        if (failure)
            *failure = QStringLiteral("no processes in this test");
        return false;
    }
    int runSystem(const QString&) override { return -1; }
    int runModalAlert(const AlertRequest&) override { return FirstButtonReturn; }
    void deliverNotification(const UserNotification&) override {}
    bool openUrl(const QUrl&) override { return false; }
    void log(const QString&) override {}
    void scheduleTimer(std::chrono::milliseconds, bool, TimerCallback) override {}
    void terminate() override {}
    QProcessEnvironment environment() const override { return m_environment; }
    QString homeDirectory() const override { return m_home; }
    QString bundlePath() const override { return QStringLiteral("/usr/bin/tolvane-controller"); }
    QDateTime currentDateTime() const override { return QDateTime::currentDateTime(); }
    QSettings& userDefaults() override { return m_settings; }
    bool synchronizeUserDefaults() override { return false; }

private:
    QProcessEnvironment m_environment;
    QString m_home;
    QTemporaryDir m_settingsFolder;
    QSettings m_settings;
};

struct FactoryCase {
    const char* name;
    std::optional<QString> xdgConfigHome;
    QString expectedConfigHome;
};

void PrintTo(const FactoryCase& row, std::ostream* os)
{
    *os << row.name;
}

class LoginIntegrationFactory : public ::testing::TestWithParam<FactoryCase> {};

TEST_P(LoginIntegrationFactory, ChoosesThePlatformsAdapterAndFolders)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    if (GetParam().xdgConfigHome)
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), *GetParam().xdgConfigHome);
    MinimalHost fake(environment, QStringLiteral("/home/a"));
    ScopedHost installed(fake);

    const std::unique_ptr<LoginIntegration> integration = makeLoginIntegration();
    ASSERT_NE(integration, nullptr);
#ifdef Q_OS_MACOS
    EXPECT_EQ(integration->agentFolders(), QStringList{QStringLiteral("/home/a/Library/LaunchAgents/")});
    EXPECT_TRUE(integration->setCommand(QStringLiteral("/d")).startsWith(QLatin1String("launchctl setenv")));
#else
    const QString configHome = GetParam().expectedConfigHome;
    EXPECT_EQ(integration->agentFolders(), (QStringList{configHome + QStringLiteral("/autostart/"),
                                                        configHome + QStringLiteral("/environment.d/")}));
    EXPECT_EQ(integration->agentFilePath(),
              configHome + QStringLiteral("/autostart/org.veltran.tolvane.user.desktop"));
    EXPECT_TRUE(integration->setCommand(QStringLiteral("/d"))
                    .startsWith(QLatin1String("dbus-update-activation-environment")));
#endif
}

INSTANTIATE_TEST_SUITE_P(
    ConfigurationFolder, LoginIntegrationFactory,
    ::testing::Values(FactoryCase{"Unset", std::nullopt, QStringLiteral("/home/a/.config")},
                      FactoryCase{"Empty", QString(), QStringLiteral("/home/a/.config")},
                      FactoryCase{"Relative", QStringLiteral("cfg"), QStringLiteral("/home/a/.config")},
                      FactoryCase{"Absolute", QStringLiteral("/srv/cfg"), QStringLiteral("/srv/cfg")},
                      FactoryCase{"TrailingSeparator", QStringLiteral("/srv/cfg/"),
                                  QStringLiteral("/srv/cfg")}),
    [](const ::testing::TestParamInfo<FactoryCase>& param) { return std::string(param.param.name); });

} // namespace
} // namespace tolvane
