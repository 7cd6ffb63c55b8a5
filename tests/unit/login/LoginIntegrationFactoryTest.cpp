// The platform factory: which adapter, and where its entries go, from the host's environment.
#include "FakeHost.h"
#include "prefs/LoginIntegration.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

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
    testing::FakeHost fake;
    fake.env = environment;
    fake.home = QStringLiteral("/home/a");
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
