// The preferences store and the Preferences window: first-run registration, load, Apply and Discard.
#include "ControllerTest.h"
#include "Files.h"
#include "LoginRows.h"
#include "common/BuildInfo.h"
#include "prefs/PathControl.h"

#include <QMap>
#include <QProcess>

namespace tolvane::testing {
namespace {

const QString NoDefaultDataPath = QStringLiteral("The default Tolvane data path is nil, please check the "
                                                 "TOLVANE_HOME environment variable value or re-install "
                                                 "Tolvane.");
const QString DataFolderNotFound = QStringLiteral("Tolvane data folder is not found. Click the `Start "
                                                  "Tolvane` button to auto-create the Tolvane data folder.");
const QString CannotSave =
    QStringLiteral("Sorry but your preferences cannot be saved, please check the Console logs.");
const QString Stopping = QStringLiteral("Stopping");

QString settingNotice(const QString& location)
{
    return QStringLiteral("Setting TOLVANE_HOME environment variable to %1...").arg(location);
}
QString successNotice(const QString& location)
{
    return QStringLiteral("Successfully set TOLVANE_HOME env to %1.").arg(location);
}

class PreferencesTest : public ControllerTest {
protected:
    QString dataFolder() const { return fake.home + QStringLiteral("/.tolvane"); }
    // The login entry that the login step writes on this platform.
    QString loginEntry() const { return loginRows(fake.home).entryFiles.first(); }

    // Every key of the store with its value, to tell whether anything was stored.
    QMap<QString, QVariant> storeContents()
    {
        QMap<QString, QVariant> contents;
        for (const QString& key : fake.userDefaults().allKeys())
            contents.insert(key, fake.userDefaults().value(key));
        return contents;
    }
    // The store file as written on disk.
    QString storeFileText() { return readText(fake.userDefaults().fileName()); }

    // A store past the first run, with the data location in the home folder.
    void registered(const QVariant& autoLoad = true, const QVariant& autoStart = true)
    {
        makeFolder(dataFolder());
        fake.userDefaults().setValue(QStringLiteral("version"), ControllerVersion);
        if (autoLoad.isValid())
            fake.userDefaults().setValue(QStringLiteral("autoLoadOnLogin"), autoLoad);
        if (autoStart.isValid())
            fake.userDefaults().setValue(QStringLiteral("autoStartOnLoad"), autoStart);
        fake.userDefaults().setValue(QStringLiteral("customTolvaneData"), dataFolder());
        fake.userDefaults().sync();
    }

    QCheckBox& loadOnLogin() { return *controller->outlets.loadOnLogin; }
    QCheckBox& startOnLoad() { return *controller->outlets.startOnLoad; }
    PathControl& pathControl() { return *controller->outlets.customTolvaneData; }
    QAbstractButton& apply() { return *controller->outlets.savePrefs; }
    QAbstractButton& discard()
    {
        return *controller->outlets.window->findChild<QAbstractButton*>(QStringLiteral("discardButton"));
    }
};

// --- first-run registration

// Where the data location is looked for; none of these gives one.
struct NoLocation {
    const char* name;
    bool storedMissing;      // "customTolvaneData" names a folder that is not there
    bool environmentMissing; // TOLVANE_HOME names a folder that is not there
    bool versionStored;
};

void PrintTo(const NoLocation& row, std::ostream* os)
{
    *os << row.name;
}

class RegistrationWithoutLocationTest : public PreferencesTest,
                                        public ::testing::WithParamInterface<NoLocation> {};

TEST_P(RegistrationWithoutLocationTest, LogsStoresNothingAndSkipsTheLoginStep)
{
    const NoLocation& c = GetParam();
    if (c.storedMissing)
        fake.userDefaults().setValue(QStringLiteral("customTolvaneData"),
                                     fake.folder.filePath(QStringLiteral("gone")));
    if (c.environmentMissing)
        fake.env.insert(QStringLiteral("TOLVANE_HOME"), fake.folder.filePath(QStringLiteral("also-gone")));
    if (c.versionStored)
        fake.userDefaults().setValue(QStringLiteral("version"), ControllerVersion);
    controller->outlets.tolvaneVersion->setText(QStringLiteral("untouched"));
    const auto before = storeContents();

    EXPECT_FALSE(controller->registerDefaultPreferences());

    EXPECT_EQ(fake.logRecords, QStringList{NoDefaultDataPath});
    EXPECT_EQ(storeContents(), before);
    EXPECT_TRUE(fake.notifications.empty());
    EXPECT_TRUE(fake.systemCommands.isEmpty());
    EXPECT_FALSE(QFile::exists(loginEntry()));
    EXPECT_EQ(controller->outlets.tolvaneVersion->text(), QStringLiteral("untouched"));
}

INSTANTIATE_TEST_SUITE_P(Sources, RegistrationWithoutLocationTest,
                         ::testing::Values(NoLocation{"Nothing", false, false, false},
                                           NoLocation{"EveryCandidateMissing", true, true, false},
                                           NoLocation{"AlreadyRegistered", true, false, true}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(PreferencesTest, FirstRunStoresTheDefaultsThenRunsTheLoginStepAndLeavesTheLabel)
{
    // The environment's value is stored as it was found, and the login step is given the same location.
    const QString location = fake.folder.filePath(QStringLiteral("env-data"));
    makeFolder(location);
    fake.env.insert(QStringLiteral("TOLVANE_HOME"), location);
    controller->outlets.tolvaneVersion->setText(QStringLiteral("untouched"));
    // At the login step, the defaults are already in the store.
    QVariant autoLoadAtLoginStep;
    fake.systemAnswer = [&](const QString&) {
        autoLoadAtLoginStep = fake.userDefaults().value(QStringLiteral("autoLoadOnLogin"));
        return 0;
    };

    EXPECT_TRUE(controller->registerDefaultPreferences());

    EXPECT_EQ(fake.userDefaults().value(QStringLiteral("version")).toString(), ControllerVersion);
    EXPECT_EQ(fake.userDefaults().value(QStringLiteral("autoLoadOnLogin")).toBool(), true);
    EXPECT_EQ(fake.userDefaults().value(QStringLiteral("autoStartOnLoad")).toBool(), true);
    EXPECT_EQ(fake.userDefaults().value(QStringLiteral("customTolvaneData")).toString(), location);
    EXPECT_EQ(fake.userDefaults().allKeys().size(), 4);
    // Written to disk, not only held in memory.
    const QString onDisk = storeFileText();
    EXPECT_TRUE(onDisk.contains(QStringLiteral("version=") + ControllerVersion)) << onDisk.toStdString();
    EXPECT_TRUE(onDisk.contains(QStringLiteral("autoStartOnLoad=true"))) << onDisk.toStdString();

    EXPECT_EQ(autoLoadAtLoginStep.toString(), QStringLiteral("true"));
    ASSERT_EQ(fake.systemCommands.size(), 1);
    EXPECT_TRUE(fake.systemCommands[0].contains(location));
    EXPECT_EQ(fake.notificationSubtitles(), (QStringList{settingNotice(location), successNotice(location)}));
    EXPECT_TRUE(QFile::exists(loginEntry()));
    EXPECT_EQ(controller->outlets.tolvaneVersion->text(), QStringLiteral("untouched"));
}

TEST_F(PreferencesTest, LaterRunsOnlySetTheVersionLabel)
{
    registered(false, false);
    const auto before = storeContents();

    EXPECT_FALSE(controller->registerDefaultPreferences());

    EXPECT_EQ(controller->outlets.tolvaneVersion->text(), ControllerVersion + QStringLiteral(".x"));
    EXPECT_EQ(storeContents(), before);
    EXPECT_TRUE(fake.systemCommands.isEmpty());
    EXPECT_TRUE(fake.notifications.empty());
}

// --- loading into the window

TEST_F(PreferencesTest, TheApplicationIsActivatedBeforeTheWindowIsShown)
{
    registered();
    std::vector<bool> visibleAtActivation;
    fake.onActivate = [&] { visibleAtActivation.push_back(controller->outlets.window->isVisible()); };

    controller->showPreferences(nullptr);

    // Once, and while the window is not yet on screen, so that it comes up in front with the focus.
    EXPECT_EQ(visibleAtActivation, std::vector<bool>{false});
    EXPECT_TRUE(controller->outlets.window->isVisible());
    controller->outlets.window->hide();
}

TEST_F(PreferencesTest, WithoutADataLocationTheWindowSaysSoAndShowsNoPath)
{
    fake.userDefaults().setValue(QStringLiteral("version"), ControllerVersion);
    pathControl().setStringValue(QStringLiteral("/left/over"));

    controller->showPreferences(nullptr);

    EXPECT_EQ(fake.notificationSubtitles(), QStringList{DataFolderNotFound});
    EXPECT_TRUE(pathControl().stringValue().isEmpty());
    EXPECT_TRUE(pathControl().url().isEmpty());
}

TEST_F(PreferencesTest, ThePathControlShowsTheLocationStandardized)
{
    fake.userDefaults().setValue(QStringLiteral("version"), ControllerVersion);
    makeFolder(fake.home + QStringLiteral("/data"));
    fake.env.insert(QStringLiteral("TOLVANE_HOME"), fake.home + QStringLiteral("//./data/"));

    controller->showPreferences(nullptr);

    EXPECT_EQ(pathControl().stringValue(), fake.home + QStringLiteral("/data"));
    EXPECT_TRUE(fake.notifications.empty());
}

struct StoredChoices {
    const char* name;
    QVariant autoLoad;  // invalid: absent
    QVariant autoStart; // invalid: absent
    bool loadOnLoginChecked;
    bool startOnLoadChecked;
};

void PrintTo(const StoredChoices& row, std::ostream* os)
{
    *os << row.name;
}

class LoadChoicesTest : public PreferencesTest, public ::testing::WithParamInterface<StoredChoices> {};

TEST_P(LoadChoicesTest, SetsTheBoxesFromTheStoreAbsentMeaningYes)
{
    const StoredChoices& c = GetParam();
    registered(c.autoLoad, c.autoStart);
    // Whatever the boxes showed before, the store decides.
    loadOnLogin().setCheckState(c.loadOnLoginChecked ? Qt::Unchecked : Qt::PartiallyChecked);
    startOnLoad().setCheckState(c.startOnLoadChecked ? Qt::PartiallyChecked : Qt::Checked);

    controller->showPreferences(nullptr);

    EXPECT_EQ(loadOnLogin().checkState(), c.loadOnLoginChecked ? Qt::Checked : Qt::Unchecked);
    EXPECT_EQ(startOnLoad().checkState(), c.startOnLoadChecked ? Qt::Checked : Qt::Unchecked);
}

INSTANTIATE_TEST_SUITE_P(
    Stores, LoadChoicesTest,
    ::testing::Values(StoredChoices{"BothAbsent", QVariant(), QVariant(), true, true},
                      StoredChoices{"BothTrue", true, true, true, true},
                      StoredChoices{"BothFalse", false, false, false, false},
                      StoredChoices{"LoadFalseStartAbsent", false, QVariant(), false, true},
                      StoredChoices{"LoadAbsentStartFalse", QVariant(), false, true, false}),
    [](const auto& row) { return std::string(row.param.name); });

// --- showing, Apply enabling and Discard

TEST_F(PreferencesTest, ShowingHidesTheSplashShowsTheWindowAndDisablesApply)
{
    registered();
    ASSERT_TRUE(controller->outlets.splash->isVisible());
    apply().setEnabled(true);

    controller->showPreferences(nullptr);

    EXPECT_FALSE(controller->outlets.splash->isVisible());
    EXPECT_TRUE(controller->outlets.window->isVisible());
    EXPECT_FALSE(apply().isEnabled());
    EXPECT_EQ(pathControl().stringValue(), dataFolder());
}

enum class EditKind { ChooseFolder, ClickOpenAtLogin, ClickStartOnOpen };

struct Edit {
    const char* name;
    EditKind kind;
};

void PrintTo(const Edit& row, std::ostream* os)
{
    *os << row.name;
}

class ApplyEnablingTest : public PreferencesTest, public ::testing::WithParamInterface<Edit> {};

TEST_P(ApplyEnablingTest, AnEditEnablesApplyUntilTheNextShowing)
{
    registered();
    controller->showPreferences(nullptr);
    ASSERT_FALSE(apply().isEnabled());

    switch (GetParam().kind) {
    case EditKind::ChooseFolder:
        pathControl().choose(fake.folder.path());
        break;
    case EditKind::ClickOpenAtLogin:
        loadOnLogin().click();
        break;
    case EditKind::ClickStartOnOpen:
        startOnLoad().click();
        break;
    }
    EXPECT_TRUE(apply().isEnabled());

    controller->showPreferences(nullptr);
    EXPECT_FALSE(apply().isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Edits, ApplyEnablingTest,
                         ::testing::Values(Edit{"ChooseAFolder", EditKind::ChooseFolder},
                                           Edit{"ClickOpenAtLogin", EditKind::ClickOpenAtLogin},
                                           Edit{"ClickStartOnOpen", EditKind::ClickStartOnOpen}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(PreferencesTest, DiscardThenReopenShowsTheStoredValuesAgain)
{
    registered(true, false);
    controller->showPreferences(nullptr);
    const QString other = fake.folder.filePath(QStringLiteral("other"));
    makeFolder(other);
    loadOnLogin().click();
    startOnLoad().click();
    pathControl().choose(other);
    const auto before = storeContents();

    discard().click();
    EXPECT_FALSE(controller->outlets.window->isVisible());
    EXPECT_EQ(storeContents(), before);
    EXPECT_TRUE(fake.tasks.empty());

    controller->showPreferences(nullptr);
    EXPECT_EQ(loadOnLogin().checkState(), Qt::Checked);
    EXPECT_EQ(startOnLoad().checkState(), Qt::Unchecked);
    EXPECT_EQ(pathControl().stringValue(), dataFolder());
    EXPECT_FALSE(apply().isEnabled());
}

// --- Apply

struct BoxStates {
    const char* name;
    Qt::CheckState loadOnLogin;
    Qt::CheckState startOnLoad;
    bool storedAutoLoad;
    bool storedAutoStart;
};

void PrintTo(const BoxStates& row, std::ostream* os)
{
    *os << row.name;
}

class ApplyChoicesTest : public PreferencesTest, public ::testing::WithParamInterface<BoxStates> {};

TEST_P(ApplyChoicesTest, StoresYesUnlessTheBoxIsOffAndFlushes)
{
    const BoxStates& c = GetParam();
    registered(!c.storedAutoLoad, !c.storedAutoStart);
    controller->showPreferences(nullptr);
    loadOnLogin().setCheckState(c.loadOnLogin);
    startOnLoad().setCheckState(c.startOnLoad);

    apply().setEnabled(true);
    apply().click();

    EXPECT_EQ(fake.userDefaults().value(QStringLiteral("autoLoadOnLogin")).toBool(), c.storedAutoLoad);
    EXPECT_EQ(fake.userDefaults().value(QStringLiteral("autoStartOnLoad")).toBool(), c.storedAutoStart);
    const QString onDisk = storeFileText();
    const auto yesNo = [](bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); };
    EXPECT_TRUE(onDisk.contains(QStringLiteral("autoLoadOnLogin=") + yesNo(c.storedAutoLoad)))
        << onDisk.toStdString();
    EXPECT_TRUE(onDisk.contains(QStringLiteral("autoStartOnLoad=") + yesNo(c.storedAutoStart)))
        << onDisk.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Boxes, ApplyChoicesTest,
                         ::testing::Values(BoxStates{"OnOff", Qt::Checked, Qt::Unchecked, true, false},
                                           BoxStates{"OffOn", Qt::Unchecked, Qt::Checked, false, true},
                                           BoxStates{"BothOff", Qt::Unchecked, Qt::Unchecked, false, false},
                                           BoxStates{"MixedCountsAsOn", Qt::PartiallyChecked,
                                                     Qt::PartiallyChecked, true, true}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(PreferencesTest, ApplyStopsFirstThenStoresThenRunsTheLoginStepThenHidesTheWindow)
{
    installExecutable();
    registered(true, true);
    controller->showPreferences(nullptr);
    const QString chosen = fake.folder.filePath(QStringLiteral("chosen"));
    makeFolder(chosen);
    pathControl().choose(chosen);
    loadOnLogin().click();

    // When the stop is launched, nothing is stored yet.
    QVariant autoLoadAtStop;
    QStringList noticesAtStop;
    fake.onLaunch = [&](const TaskSpec&) {
        autoLoadAtStop = fake.userDefaults().value(QStringLiteral("autoLoadOnLogin"));
        noticesAtStop = fake.notificationSubtitles();
    };
    // When the login step sets the variable, everything is stored and the window is still open.
    QString storedAtLoginStep;
    bool windowOpenAtLoginStep = false;
    fake.systemAnswer = [&](const QString&) {
        storedAtLoginStep = fake.userDefaults().value(QStringLiteral("customTolvaneData")).toString();
        windowOpenAtLoginStep = controller->outlets.window->isVisible();
        return 0;
    };

    apply().click();

    ASSERT_EQ(fake.tasks.size(), 1u);
    EXPECT_TRUE(fake.tasks[0].commandLine().endsWith(QStringLiteral(" stop")));
    EXPECT_EQ(noticesAtStop, QStringList{Stopping});
    EXPECT_EQ(autoLoadAtStop.toBool(), true);

    EXPECT_EQ(storedAtLoginStep, chosen);
    EXPECT_TRUE(windowOpenAtLoginStep);
    ASSERT_EQ(fake.systemCommands.size(), 1);
    EXPECT_TRUE(fake.systemCommands[0].contains(chosen));
    EXPECT_EQ(fake.notificationSubtitles(),
              (QStringList{Stopping, settingNotice(chosen), successNotice(chosen)}));
    EXPECT_EQ(fake.userDefaults().value(QStringLiteral("autoLoadOnLogin")).toBool(), false);
    EXPECT_TRUE(storeFileText().contains(QStringLiteral("customTolvaneData=") + chosen));
    EXPECT_FALSE(controller->outlets.window->isVisible());
}

TEST_F(PreferencesTest, WithoutTheExecutableApplyLaunchesNoStopButStillSaves)
{
    registered(true, true);
    controller->showPreferences(nullptr);
    startOnLoad().click();

    apply().click();

    EXPECT_TRUE(fake.tasks.empty());
    EXPECT_EQ(fake.notificationSubtitles().value(0), Stopping);
    EXPECT_EQ(fake.userDefaults().value(QStringLiteral("autoStartOnLoad")).toBool(), false);
    EXPECT_FALSE(controller->outlets.window->isVisible());
}

TEST_F(PreferencesTest, AChosenFolderThatIsGoneKeepsTheStoredLocationSilently)
{
    installExecutable();
    registered();
    controller->showPreferences(nullptr);
    const QString gone = fake.folder.filePath(QStringLiteral("chosen-then-removed"));
    makeFolder(gone);
    pathControl().choose(gone);
    ASSERT_TRUE(QDir(gone).removeRecursively());

    apply().click();

    EXPECT_EQ(fake.userDefaults().value(QStringLiteral("customTolvaneData")).toString(), dataFolder());
    EXPECT_TRUE(fake.alerts.empty());
    EXPECT_EQ(fake.notificationSubtitles(),
              (QStringList{Stopping, settingNotice(dataFolder()), successNotice(dataFolder())}));
    EXPECT_FALSE(controller->outlets.window->isVisible());
}

// A store whose file cannot be written. Root ignores permission bits, so the file is put under a regular
// file, and failing that in a folder made immutable. Empty when this system writes both all the same.
class UnwritableStoreTest : public PreferencesTest {
protected:
    void TearDown() override
    {
        if (!m_immutable.isEmpty())
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_immutable});
    }

    static bool refusesWrites(const QString& folder)
    {
        // A probe file of its own, so that its failed write is not shared with the store under test.
        QSettings probe(folder + QStringLiteral("/probe.ini"), QSettings::IniFormat);
        probe.setValue(QStringLiteral("probe"), 1);
        probe.sync();
        return probe.status() != QSettings::NoError;
    }

    QString unwritableFolder()
    {
        const QString underFile = fake.folder.filePath(QStringLiteral("a-file"));
        makeFile(underFile);
        if (refusesWrites(underFile))
            return underFile;
        const QString immutable = fake.folder.filePath(QStringLiteral("immutable"));
        makeFolder(immutable);
        if (QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), immutable}) == 0) {
            m_immutable = immutable;
            if (refusesWrites(immutable))
                return immutable;
        }
        return QString();
    }

private:
    QString m_immutable;
};

TEST_F(UnwritableStoreTest, ApplySaysSoButStillRunsTheLoginStepAndClosesTheWindow)
{
    installExecutable();
    makeFolder(dataFolder());
    const QString folder = unwritableFolder();
    if (folder.isEmpty())
        GTEST_SKIP()
            << "no unwritable store here: a path under a regular file and an immutable folder were both "
               "written";
    fake.useStoreAt(folder + QStringLiteral("/preferences.ini"));
    fake.userDefaults().setValue(QStringLiteral("version"), ControllerVersion);
    fake.userDefaults().setValue(QStringLiteral("customTolvaneData"), dataFolder());
    controller->showPreferences(nullptr);
    startOnLoad().click();

    apply().click();

    EXPECT_EQ(fake.notificationSubtitles(),
              (QStringList{Stopping, CannotSave, settingNotice(dataFolder()), successNotice(dataFolder())}));
    EXPECT_EQ(fake.systemCommands.size(), 1);
    EXPECT_FALSE(controller->outlets.window->isVisible());
}

TEST_F(PreferencesTest, AFailedApplyLeavesTheNextApplyToSucceedOnItsOwn)
{
    // A regular file where the store's folder belongs: nothing can be written under it, not even by root.
    const QString storeFolder = fake.folder.filePath(QStringLiteral("store"));
    makeFile(storeFolder);
    fake.useStoreAt(storeFolder + QStringLiteral("/preferences.ini"));
    registered();
    installExecutable();
    controller->showPreferences(nullptr);
    loadOnLogin().click();
    apply().click();
    ASSERT_TRUE(fake.notificationSubtitles().contains(CannotSave));

    // The folder is there now: the next Apply writes, says nothing of a failure, and the file is right.
    ASSERT_TRUE(QFile::remove(storeFolder));
    makeFolder(storeFolder);
    fake.notifications.clear();
    const QString chosen = fake.folder.filePath(QStringLiteral("chosen"));
    makeFolder(chosen);
    controller->showPreferences(nullptr);
    pathControl().choose(chosen);
    apply().click();
    EXPECT_EQ(fake.notificationSubtitles(),
              (QStringList{Stopping, settingNotice(chosen), successNotice(chosen)}));
    const QSettings written(storeFolder + QStringLiteral("/preferences.ini"), QSettings::IniFormat);
    EXPECT_EQ(written.value(QStringLiteral("customTolvaneData")).toString(), chosen);
    EXPECT_EQ(written.value(QStringLiteral("autoLoadOnLogin")).toBool(), false);
    EXPECT_EQ(written.value(QStringLiteral("version")).toString(), ControllerVersion);
}

} // namespace
} // namespace tolvane::testing
