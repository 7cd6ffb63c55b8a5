// The preferences store's identity: the store the controller opens, named once for the uninstall tool too.
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

namespace tolvane::testing {
namespace {

TEST(UserDefaultsIdentity, TheStoreOfThisPlatformIsTheNamedOne)
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("/srv/config"));
    const QString opened = openUserDefaults(environment, QStringLiteral("/home/a"))->fileName();
    // The file in the configuration folder, or on macOS the domain's property list.
    const QString asFile = QStringLiteral("/srv/config/") + PreferencesFile;
    const QString asDomain =
        QStringLiteral("/Library/Preferences/") + PreferencesDomain + QStringLiteral(".plist");
    EXPECT_TRUE(opened == asFile || opened.endsWith(asDomain)) << opened.toStdString();
}

TEST(UserDefaultsIdentity, QtsNamesForTheDomainAreItsReversedParentAndItsLastPart)
{
    EXPECT_EQ(qtNamesOfDomain(QStringLiteral("org.veltran.tolvane")),
              std::make_pair(QStringLiteral("veltran.org"), QStringLiteral("tolvane")));
}

TEST(UserConfigFolder, IsAnAbsoluteXdgConfigHomeElseDotConfigInTheHomeFolder)
{
    const struct {
        const char* name;
        std::optional<QString> configured;
        QString expected;
    } rows[] = {
        {"unset", std::nullopt, QStringLiteral("/home/a/.config")},
        {"empty", QString(), QStringLiteral("/home/a/.config")},
        {"relative", QStringLiteral("cfg"), QStringLiteral("/home/a/.config")},
        {"absolute", QStringLiteral("/srv/cfg"), QStringLiteral("/srv/cfg")},
        {"trailing separator", QStringLiteral("/srv/cfg/"), QStringLiteral("/srv/cfg")},
    };
    for (const auto& row : rows) {
        QProcessEnvironment environment;
        if (row.configured)
            environment.insert(QStringLiteral("XDG_CONFIG_HOME"), *row.configured);
        EXPECT_EQ(userConfigFolder(environment, QStringLiteral("/home/a")), row.expected) << row.name;
    }
}

} // namespace
} // namespace tolvane::testing
