// user-dirs.dirs read the way GLib reads it: every spelling GLib accepts names the folder.
#include "UserDirs.h"

#include <gtest/gtest.h>

namespace tolvane::uninstall {
namespace {

QStringList pathsOf(const std::vector<NamedFolder>& folders, const QString& key)
{
    QStringList paths;
    for (const NamedFolder& folder : folders) {
        if (folder.name == key)
            paths.append(folder.path);
    }
    return paths;
}

TEST(UserDirs, EverySpellingGLibAcceptsNamesTheFolder)
{
    const QString home = QStringLiteral("/home/a");
    const struct {
        const char* name;
        const char* line;
        QStringList expected;
    } rows[] = {
        {"plain", R"(XDG_DOCUMENTS_DIR="$HOME/Docs")", {QStringLiteral("/home/a/Docs")}},
        {"blanks around =", R"(XDG_DOCUMENTS_DIR = "$HOME/Docs")", {QStringLiteral("/home/a/Docs")}},
        {"tabs and leading blanks",
         "  \tXDG_DOCUMENTS_DIR\t=\t\"$HOME/Docs\"",
         {QStringLiteral("/home/a/Docs")}},
        {"absolute", R"(XDG_DOCUMENTS_DIR="/srv/docs")", {QStringLiteral("/srv/docs")}},
        {"${HOME}, as the shell reads it",
         R"(XDG_DOCUMENTS_DIR="${HOME}/Docs")",
         {QStringLiteral("/home/a/Docs")}},
        {"trailing slash", R"(XDG_DOCUMENTS_DIR="$HOME/Docs/")", {QStringLiteral("/home/a/Docs")}},
        {"the home folder itself", R"(XDG_DOCUMENTS_DIR="$HOME/")", {QStringLiteral("/home/a")}},
        {"up to the last quote",
         R"(XDG_DOCUMENTS_DIR="$HOME/My "Docs"")",
         {QStringLiteral("/home/a/My \"Docs\"")}},
        {"carriage return after the quote",
         "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\r",
         {QStringLiteral("/home/a/Docs")}},
        {"backslash escapes, both ways",
         R"(XDG_DOCUMENTS_DIR="$HOME/My\ Docs")",
         {QStringLiteral("/home/a/My\\ Docs"), QStringLiteral("/home/a/My Docs")}},
        {"no quotes", R"(XDG_DOCUMENTS_DIR=$HOME/Docs)", {}},
        {"relative", R"(XDG_DOCUMENTS_DIR="Docs")", {}},
        {"comment", R"(# XDG_DOCUMENTS_DIR="$HOME/Docs")", {}},
        {"no =", R"(XDG_DOCUMENTS_DIR "$HOME/Docs")", {}},
    };
    for (const auto& row : rows) {
        const auto folders = parseUserDirs(QString::fromUtf8(row.line), home);
        EXPECT_EQ(pathsOf(folders, QStringLiteral("XDG_DOCUMENTS_DIR")), row.expected) << row.name;
    }
}

TEST(UserDirs, EveryKeyOfAFileIsRead)
{
    const auto folders = parseUserDirs(QStringLiteral("XDG_DESKTOP_DIR=\"$HOME/Desk\"\n"
                                                      "# a comment\n"
                                                      "\n"
                                                      "XDG_MUSIC_DIR  =  \"/media/music\"\n"),
                                       QStringLiteral("/home/a"));
    EXPECT_EQ(pathsOf(folders, QStringLiteral("XDG_DESKTOP_DIR")),
              QStringList{QStringLiteral("/home/a/Desk")});
    EXPECT_EQ(pathsOf(folders, QStringLiteral("XDG_MUSIC_DIR")), QStringList{QStringLiteral("/media/music")});
    EXPECT_EQ(folders.size(), 2u);
}

} // namespace
} // namespace tolvane::uninstall
