// The uninstall's plans over sandboxed trees: one row per rule, each breaking it once. Planning reads the
// file system and changes nothing, so these run as any user; the real system folders (/etc, /usr/share,
// /root, /dev) are only ever named, never touched.
#include "Plan.h"

#include "FileIdentity.h"
#include "Log.h"
#include "Platform.h"
#include "Uninstall.h"
#include "platform/UserDefaults.h"
#include "server/DataLocation.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace tolvane::uninstall {
namespace {

using Kind = Action::Kind;

bool writeFile(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

bool makeLink(const QString& target, const QString& link)
{
    QDir().mkpath(QFileInfo(link).path());
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

// An installed product under <root>/prefix, a user under <root>/home with the default data folder.
struct Tree {
    QTemporaryDir folder;
    QString root = QFileInfo(folder.path()).canonicalFilePath();
    QString home = root + QStringLiteral("/home");
    QString config = home + QStringLiteral("/.config");
    QString prefix = root + QStringLiteral("/prefix");
    QString product = prefix + QStringLiteral("/lib/tolvane");
    QString tool = product + QStringLiteral("/Tolvane_Uninstall.tool");
    QString controller = product + QStringLiteral("/tolvane-controller");
    QString commandLink = prefix + QStringLiteral("/bin/tolvane-controller");
    QString desktopEntry = prefix + QStringLiteral("/share/applications/tolvane-controller.desktop");
    std::optional<QString> data = home + QStringLiteral("/.tolvane");
    QString serverExecutable;
    QStringList markerLines{commandLink, desktopEntry};
    QStringList extraMounts;
    bool marked = true;

    Tree()
    {
        for (const QString& path : {home, config, product, *data})
            QDir().mkpath(path);
        writeFile(tool, "tool");
        writeFile(controller, "controller");
        writeFile(desktopEntry, "[Desktop Entry]\n");
        makeLink(QStringLiteral("../lib/tolvane/tolvane-controller"), commandLink);
        writeFile(*data + QStringLiteral("/db"), "data");
    }

    QString path(const QString& relative) const { return root + QLatin1Char('/') + relative; }

    Facts facts(bool removeData)
    {
        QByteArray marker = "# Tolvane controller: installed outside this folder\n";
        for (const QString& line : markerLines)
            marker += QFile::encodeName(line) + '\n';
        if (marked)
            writeFile(product + QLatin1Char('/') + MarkerName, marker);
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("HOME"), home);
        Facts facts;
        facts.removeData = removeData;
        facts.home = home;
        facts.configFolder = config;
        facts.productFolder = product;
        facts.tool = tool;
        facts.controller = controller;
        facts.serverExecutable = serverExecutable;
        facts.dataFolder = data;
        facts.wellKnownFolders = wellKnownFolders(environment, home, config);
        facts.systemFolders = systemFolders();
        facts.settings = settingsPaths(home, config);
        facts.settingsFolders = settingsFolders(home, config);
        const Layout layout = buildLayout();
        facts.prefixFromProduct = layout.prefixFromProduct;
        facts.outsideFiles = layout.outsideFiles;
        facts.mountPoints = mountPoints() + extraMounts;
        facts.privileged = false;
        facts.adminAvailable = true;
        return facts;
    }
};

QString describe(const Plan& plan)
{
    return planText(plan);
}

// A row: what the tree gets, the answer, and the refusal expected (its subject and part of its reason), or
// none.
struct Row {
    const char* name;
    std::function<void(Tree&)> arrange;
    bool removeData;
    std::function<QString(const Tree&)> refusedSubject; // empty: no refusal expected
    const char* reasonPart;
};

void checkRows(const std::vector<Row>& rows)
{
    for (const Row& row : rows) {
        Tree tree;
        ASSERT_TRUE(tree.folder.isValid());
        row.arrange(tree);
        const Plan plan = makePlan(tree.facts(row.removeData));
        if (!row.refusedSubject) {
            EXPECT_FALSE(plan.refused()) << row.name << "\n" << describe(plan).toStdString();
            continue;
        }
        const QString subject = row.refusedSubject(tree);
        bool found = false;
        for (const Action& refusal : plan.of(Kind::Refuse))
            found = found ||
                    (refusal.subject == subject && refusal.reason.contains(QLatin1String(row.reasonPart)));
        EXPECT_TRUE(found) << row.name << ": expected refusing " << subject.toStdString() << ": ..."
                           << row.reasonPart << "...\n"
                           << describe(plan).toStdString();
        // A refused plan holds nothing but its refusals: nothing is done.
        EXPECT_EQ(plan.of(Kind::Refuse).size(), plan.actions.size()) << row.name;
    }
}

std::function<QString(const Tree&)> dataSubject()
{
    return [](const Tree& t) { return *t.data; };
}

std::function<QString(const Tree&)> markerSubject(const QString& line)
{
    return [line](const Tree&) { return line; };
}

TEST(UninstallPlan, TheDataFolderIsRefusedWhereItHoldsOrIsWhatIsNotData)
{
    checkRows({
        {"the home folder", [](Tree& t) { t.data = t.home; }, true, dataSubject(), "the home folder"},
        {"above the home folder", [](Tree& t) { t.data = t.root; }, true, dataSubject(), "the home folder"},
        {"the home folder through a link",
         [](Tree& t) {
             makeLink(t.home, t.path(QStringLiteral("homelink")));
             t.data = t.path(QStringLiteral("homelink"));
         },
         true, dataSubject(), "the home folder"},
        {"~/Documents by its usual name",
         [](Tree& t) {
             QDir().mkpath(t.home + QStringLiteral("/Documents"));
             t.data = t.home + QStringLiteral("/Documents");
         },
         true, dataSubject(), "Documents"},
        {"XDG_DOCUMENTS_DIR with blanks around =",
         [](Tree& t) {
             writeFile(t.config + QStringLiteral("/user-dirs.dirs"),
                       "XDG_DOCUMENTS_DIR = \"$HOME/Papers\"\n");
             QDir().mkpath(t.home + QStringLiteral("/Papers"));
             t.data = t.home + QStringLiteral("/Papers");
         },
         true, dataSubject(), "XDG_DOCUMENTS_DIR"},
        {"a folder holding XDG_DOCUMENTS_DIR",
         [](Tree& t) {
             writeFile(t.config + QStringLiteral("/user-dirs.dirs"),
                       "  XDG_DOCUMENTS_DIR=\"$HOME/work/Papers\"\n");
             QDir().mkpath(t.home + QStringLiteral("/work/Papers"));
             t.data = t.home + QStringLiteral("/work");
         },
         true, dataSubject(), "XDG_DOCUMENTS_DIR"},
        {"~/Documents a link to another disk, the data folder that disk's folder",
         [](Tree& t) {
             QDir().mkpath(t.path(QStringLiteral("disk/Docs")));
             makeLink(t.path(QStringLiteral("disk/Docs")), t.home + QStringLiteral("/Documents"));
             t.data = t.path(QStringLiteral("disk"));
         },
         true, dataSubject(), "Documents"},
        {"~/.config a link into a dotfiles folder",
         [](Tree& t) {
             QDir().mkpath(t.path(QStringLiteral("dotfiles/config")));
             QDir(t.config).removeRecursively();
             makeLink(t.path(QStringLiteral("dotfiles/config")), t.config);
             t.data = t.path(QStringLiteral("dotfiles"));
         },
         true, dataSubject(), "configuration folder"},
        {"the user's data folder, which holds the Trash",
         [](Tree& t) {
             QDir().mkpath(t.home + QStringLiteral("/.local/share"));
             t.data = t.home + QStringLiteral("/.local");
         },
         true, dataSubject(), "XDG_DATA_HOME"},
        {"a system folder", [](Tree& t) { t.data = QStringLiteral("/etc"); }, true, dataSubject(),
         "system folder /etc"},
        {"inside a system folder", [](Tree& t) { t.data = QStringLiteral("/usr/share"); }, true,
         dataSubject(), "system folder /usr"},
        {"a system folder through a link",
         [](Tree& t) {
             makeLink(QStringLiteral("/usr/share"), t.home + QStringLiteral("/shared"));
             t.data = t.home + QStringLiteral("/shared");
         },
         true, dataSubject(), "system folder /usr"},
        {"the root folder", [](Tree& t) { t.data = QStringLiteral("/"); }, true, dataSubject(),
         "root folder"},
        {"holding the product folder", [](Tree& t) { t.data = t.prefix; }, true, dataSubject(),
         "which the uninstall removes"},
        {"holding the settings",
         [](Tree& t) {
             writeFile(t.config + QStringLiteral("/Tolvane/tolvane.conf"), "[General]\n");
             t.data = t.config + QStringLiteral("/Tolvane");
         },
         true, dataSubject(), "which the uninstall removes"},
        {"holding the tool elsewhere",
         [](Tree& t) {
             t.tool = t.home + QStringLiteral("/tools/Tolvane_Uninstall.tool");
             writeFile(t.tool, "tool");
             t.data = t.home + QStringLiteral("/tools");
         },
         true, dataSubject(), "uninstall tool"},
        {"a mount point inside it (from the mount table; a bind mount shows the same device)",
         [](Tree& t) {
             QDir().mkpath(*t.data + QStringLiteral("/usb"));
             t.extraMounts.append(*t.data + QStringLiteral("/usb"));
         },
         true, dataSubject(), "mount point"},
        {"itself a mount point", [](Tree& t) { t.extraMounts.append(*t.data); }, true, dataSubject(),
         "mount point"},
        {"relative", [](Tree& t) { t.data = QStringLiteral("data"); }, true, dataSubject(), "relative"},
    });
}

TEST(UninstallPlan, ADataFolderInsideTheProductFolderIsRefusedWithEitherAnswer)
{
    const auto inside = [](Tree& t) {
        t.data = t.product + QStringLiteral("/data");
        writeFile(*t.data + QStringLiteral("/db"), "data");
    };
    checkRows({
        {"yes", inside, true, dataSubject(), "choose another data location in Preferences first"},
        {"no", inside, false, dataSubject(), "choose another data location in Preferences first"},
        {"holding the product folder, no", [](Tree& t) { t.data = t.prefix; }, false, dataSubject(),
         "which the uninstall removes; choose another data location in Preferences first"},
        {"holding the settings, no",
         [](Tree& t) {
             writeFile(t.config + QStringLiteral("/Tolvane/tolvane.conf"), "[General]\n");
             t.data = t.config + QStringLiteral("/Tolvane");
         },
         false, dataSubject(), "which the uninstall removes"},
        {"through a link, no",
         [](Tree& t) {
             QDir().mkpath(t.product + QStringLiteral("/data"));
             makeLink(t.product + QStringLiteral("/data"), t.home + QStringLiteral("/data"));
             t.data = t.home + QStringLiteral("/data");
         },
         false, dataSubject(), "choose another data location in Preferences first"},
    });
}

TEST(UninstallPlan, AMarkerLineOutsideTheProductIsARefusalOfTheWholeRun)
{
    const auto line = [](const QString& text) { return markerSubject(text); };
    std::vector<Row> rows;
    // Each row adds one line to the good marker; the lines are built from the tree in arrange.
    const auto add = [](std::function<QString(Tree&)> make) {
        return [make](Tree& t) { t.markerLines.append(make(t)); };
    };
    rows.push_back({"~/.ssh", add([](Tree& t) {
                        QDir().mkpath(t.home + QStringLiteral("/.ssh"));
                        return t.home + QStringLiteral("/.ssh");
                    }),
                    true, [](const Tree& t) { return t.home + QStringLiteral("/.ssh"); },
                    "home folder's own .ssh"});
    rows.push_back(
        {"through .. to /etc/passwd", add([](Tree& t) {
             return t.prefix + QStringLiteral("/share/applications/../../../../../../../../etc/passwd");
         }),
         true,
         [](const Tree& t) {
             return t.prefix + QStringLiteral("/share/applications/../../../../../../../../etc/passwd");
         },
         "it leads to /etc/passwd"});
    rows.push_back({"through a link into ~/.ssh", add([](Tree& t) {
                        QDir().mkpath(t.home + QStringLiteral("/.ssh"));
                        writeFile(t.home + QStringLiteral("/.ssh/authorized_keys"), "key");
                        makeLink(t.home + QStringLiteral("/.ssh"), t.prefix + QStringLiteral("/share/keys"));
                        return t.prefix + QStringLiteral("/share/keys/authorized_keys");
                    }),
                    true,
                    [](const Tree& t) { return t.prefix + QStringLiteral("/share/keys/authorized_keys"); },
                    "neither inside the product folder"});
    rows.push_back(
        {"a link standing for the desktop entry's folder", add([](Tree& t) {
             makeLink(QStringLiteral("/usr/share/applications"), t.prefix + QStringLiteral("/share/apps"));
             return t.prefix + QStringLiteral("/share/apps/tolvane-controller.desktop");
         }),
         true,
         [](const Tree& t) { return t.prefix + QStringLiteral("/share/apps/tolvane-controller.desktop"); },
         "neither inside the product folder"});
    const std::pair<const char*, const char*> systemLines[] = {
        {"/etc/passwd", "neither inside the product folder"},
        {"/usr/share", "neither inside the product folder"},
        {"/root", "system folder /root"},
        {"/dev", "system folder /dev"},
        {"/etc", "system folder /etc"}};
    for (const auto& [system, reason] : systemLines) {
        const QString path = QString::fromLatin1(system);
        rows.push_back({system, add([path](Tree&) { return path; }), true, line(path), reason});
    }
    rows.push_back({"a file the product installs, its folder gone: nothing to remove", add([](Tree& t) {
                        return t.prefix + QStringLiteral("/share/metainfo/org.veltran.tolvane.metainfo.xml");
                    }),
                    true, nullptr, ""});
    rows.push_back(
        {"a missing folder, then ..",
         add([](Tree& t) { return t.prefix + QStringLiteral("/share/gone/../../../../etc/passwd"); }), true,
         [](const Tree& t) { return t.prefix + QStringLiteral("/share/gone/../../../../etc/passwd"); },
         "cannot be followed"});
    rows.push_back({"the home folder", add([](Tree& t) { return t.home; }), true,
                    [](const Tree& t) { return t.home; }, "home folder"});
    rows.push_back({"relative", add([](Tree&) { return QStringLiteral("share/x"); }), true,
                    line(QStringLiteral("share/x")), "absolute"});
    checkRows(rows);
}

TEST(UninstallPlan, TheProductFolderMustBeMarkedAndNoProtectedFolder)
{
    checkRows({
        {"no marker",
         [](Tree& t) {
             t.marked = false;
             t.product = t.prefix + QStringLiteral("/lib/unmarked");
             QDir().mkpath(t.product);
         },
         true, [](const Tree& t) { return t.product; }, "has no .tolvane-product"},
        {"the home folder as the product folder",
         [](Tree& t) {
             writeFile(t.home + QLatin1Char('/') + MarkerName, "");
             t.product = t.home;
             t.markerLines.clear();
         },
         true, [](const Tree& t) { return t.home; }, "home folder"},
    });
}

TEST(UninstallPlan, AGoodInstallIsRemovedInItsOrder)
{
    Tree tree;
    tree.serverExecutable = tree.product + QStringLiteral("/support/tolvane/tolvane.pex");
    writeFile(tree.config + QStringLiteral("/Tolvane/tolvane.conf"), "[General]\n");
    const QString autostart = tree.config + QStringLiteral("/autostart/org.veltran.tolvane.user.desktop");
    writeFile(autostart, "[Desktop Entry]\n");
    // A marker line inside the product folder goes with the folder.
    tree.markerLines.append(tree.product + QStringLiteral("/support"));
    const Plan plan = makePlan(tree.facts(true));
    const QString rights =
        plan.of(Kind::AdminRemove).empty() ? QStringLiteral("user-remove") : QStringLiteral("admin-remove");
    // Run as root every product path is the user's to remove; as anybody else too, in this tree.
    EXPECT_EQ(planText(plan),
              QStringLiteral("stop-server\t%1\n"
                             "user-remove\t%2\n"
                             "user-remove\t%3\n"
                             "user-remove\t%4\n"
                             "remove-setting\t%5\n"
                             "remove-setting\t%6\n"
                             "unset-environment\tTOLVANE_HOME\n"
                             "trash\t%7\n")
                  .arg(tree.serverExecutable, tree.commandLink, tree.desktopEntry, tree.product, autostart,
                       tree.config + QStringLiteral("/Tolvane"), *tree.data));
    EXPECT_EQ(rights, QStringLiteral("user-remove"));
}

TEST(UninstallPlan, WithNoTheDataFolderIsKeptUntouched)
{
    Tree tree;
    const Plan plan = makePlan(tree.facts(false));
    ASSERT_FALSE(plan.refused()) << planText(plan).toStdString();
    ASSERT_FALSE(plan.actions.empty());
    EXPECT_EQ(plan.actions.back().kind, Kind::Keep);
    EXPECT_EQ(plan.actions.back().subject, *tree.data);
    EXPECT_TRUE(plan.of(Kind::Trash).empty());
}

TEST(UninstallPlan, ALinkedDataFolderGoesToTheTrashWithItsLinkFirst)
{
    Tree tree;
    const QString real = tree.path(QStringLiteral("elsewhere/data"));
    QDir().mkpath(real);
    QDir(*tree.data).removeRecursively();
    makeLink(real, *tree.data);
    const Plan plan = makePlan(tree.facts(true));
    const auto trash = plan.of(Kind::Trash);
    ASSERT_EQ(trash.size(), 2u) << planText(plan).toStdString();
    EXPECT_EQ(trash[0].subject, *tree.data);
    EXPECT_EQ(trash[1].subject, real);
}

// The stored location "~/lnk/../data": the controller reads it as text (the home folder's data), never as
// the folder beside the link's target; the tool reads it through the same code.
TEST(UninstallPlan, AStoredLocationThroughALinkAndDotDotIsTheControllersFolder)
{
    Tree tree;
    QDir().mkpath(tree.path(QStringLiteral("far/away")));
    QDir().mkpath(tree.path(QStringLiteral("far/data")));
    QDir().mkpath(tree.home + QStringLiteral("/data"));
    makeLink(tree.path(QStringLiteral("far/away")), tree.home + QStringLiteral("/lnk"));
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), tree.home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), tree.config);
    {
        const auto store = openUserDefaults(environment, tree.home);
        store->setValue(CustomTolvaneDataKey, tree.home + QStringLiteral("/lnk/../data"));
        store->sync();
        ASSERT_EQ(store->status(), QSettings::NoError);
    }
    Log log;
    const Facts facts = gatherFacts(environment, tree.tool, true, log);
    ASSERT_TRUE(facts.dataFolder);
    EXPECT_EQ(*facts.dataFolder, tree.home + QStringLiteral("/data"));
    tree.data = facts.dataFolder;
    const Plan plan = makePlan(tree.facts(true));
    const auto trash = plan.of(Kind::Trash);
    ASSERT_EQ(trash.size(), 1u) << planText(plan).toStdString();
    EXPECT_EQ(trash[0].subject, tree.home + QStringLiteral("/data"));
}

TEST(UninstallPlan, ThePlanTextEscapesEveryControlCharacter)
{
    Plan plan;
    plan.actions.push_back(
        {Kind::Refuse, QStringLiteral("/a\tb\nc\\d\re\x01"), QStringLiteral("x"), QStringLiteral("why\t")});
    EXPECT_EQ(planText(plan), QStringLiteral("refuse\t/a\\tb\\nc\\\\d\\re\\x01\twhy\\t\n"));
}

// The tool run for real, planning only, with a folder mounted inside the data folder: needs root for the
// private mount namespace; planning changes nothing.
TEST(UninstallPlan, ABindMountInsideTheDataFolderIsRefusedByTheRealTool)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a private mount namespace (unshare -m) needs root";
    if (QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty())
        GTEST_SKIP() << "unshare (util-linux) is not installed";
    Tree tree;
    QDir().mkpath(*tree.data + QStringLiteral("/usb"));
    QDir().mkpath(tree.path(QStringLiteral("disk")));
    tree.facts(true); // writes the marker
    QProcess tool;
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), tree.home);
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/sbin:/usr/bin:/sbin:/bin"));
    environment.insert(QStringLiteral("TOLVANE_PRODUCT_DIR"), tree.product);
    tool.setProcessEnvironment(environment);
    // The same device bound inside: only the mount table tells.
    tool.start(QStringLiteral("unshare"),
               {QStringLiteral("-m"), QStringLiteral("--propagation"), QStringLiteral("private"),
                QStringLiteral("sh"), QStringLiteral("-c"),
                QStringLiteral("mount --bind \"$1\" \"$2\" || exit 77; exec \"$3\" --plan yes yes"),
                QStringLiteral("sh"), tree.path(QStringLiteral("disk")), *tree.data + QStringLiteral("/usb"),
                QStringLiteral(TOLVANE_UNINSTALL_TOOL_PATH)});
    ASSERT_TRUE(tool.waitForFinished(60000));
    if (tool.exitCode() == 77)
        GTEST_SKIP() << "this machine allows no bind mount in a private namespace";
    const QString plan = QString::fromUtf8(tool.readAllStandardOutput());
    EXPECT_EQ(tool.exitCode(), 1) << plan.toStdString();
    EXPECT_TRUE(plan.startsWith(QStringLiteral("refuse\t") + *tree.data + QLatin1Char('\t')) &&
                plan.contains(QStringLiteral("mount point")))
        << plan.toStdString();
}

} // namespace
} // namespace tolvane::uninstall
