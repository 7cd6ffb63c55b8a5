// What the controller relies on of the server program: its command words, its port and its address.
#pragma once

#include <QString>

namespace tolvane {

inline const QString StartCommand = QStringLiteral("start");
inline const QString StopCommand = QStringLiteral("stop");
inline const QString StatusCommand = QStringLiteral("status");

// True exactly for the server's command words.
inline bool isTolvaneCommand(const QString& text)
{
    return text == StartCommand || text == StopCommand || text == StatusCommand;
}

// The server listens here; the port check before every start asks whether anything else does.
inline constexpr int ServerPort = 8008;
inline const QString ServerAddress = QStringLiteral("http://127.0.0.1:%1/").arg(ServerPort);

} // namespace tolvane
