// What every benchmark program shares: a sandboxed user, the controller launched as the entry point
// launches it, event-driven waits, and readings of this process from /proc and getrusage.
#pragma once

#include "BenchHost.h"
#include "Processes.h"
#include "Programs.h"
#include "Sandbox.h"
#include "app/AppDelegate.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::bench {

// The stand-in server built beside the benchmarks.
QString defaultServerPath();

// A fresh user in a temporary folder, the server run to its end, and readings of /proc: the tests' own.
using testing::procStatusField;
using testing::runServer;
using testing::Sandbox;

// Puts the sandbox's user with the executable, and the offscreen platform, into this process's
// environment until the sandbox goes; before the application object and the host are made.
void applySandbox(Sandbox& sandbox, const QString& executable);
// Writes the script into the sandbox and answers its path; ends the program when it cannot.
QString writeScriptOrExit(Sandbox& sandbox, const QString& name, const QByteArray& body);

// A script that answers like the server at once: exit 1 (stopped) to every word.
QByteArray stoppedServerScript();
// A script that answers start, stop and status at once from a state file in the data folder.
QByteArray statefulServerScript();

// The application identity the entry point sets, so that preferences land where the controller's do,
// and the offscreen platform's warnings about missing window features silenced.
void prepareApplication();

// The controller built and launched as the entry point does it, with the start at launch switched off
// in the stored preferences: the launch ends with one status poll, which this waits for.
std::unique_ptr<AppDelegate> launchController(BenchHost& host, int timeoutMs = 60000);

// Runs the event loop until the condition holds, checked after every interpreted termination, or the
// time is up; answers whether it held.
bool runUntil(BenchHost& host, const std::function<bool()>& done, int timeoutMs);

// N status polls one after the other, each issued once the previous one has been interpreted.
bool runPolls(BenchHost& host, AppDelegate& controller, int count, int timeoutMs);

// Runs the deferred deletions and queued calls left by ended commands.
void settleEvents();

// Waits until nothing listens on 127.0.0.1:port; answers whether it is free.
bool waitForFreePort(int port, int timeoutMs);

struct CpuTimes {
    double selfUser = 0, selfSystem = 0;   // seconds, this process (excludes its children)
    double childUser = 0, childSystem = 0; // seconds, ended and reaped children and their children
    double self() const { return selfUser + selfSystem; }
    double children() const { return childUser + childSystem; }
};
CpuTimes cpuTimes();
CpuTimes operator-(const CpuTimes& a, const CpuTimes& b);

// Readings of /proc about this process.
long selfThreads();
long openDescriptors();
// Processes whose parent is this process, zombies included.
long childProcessCount();
// The names of this process's threads, in the kernel's order.
std::string threadNames();
// What this process's descriptors refer to, numbers of sockets and pipes left out.
std::string descriptorKinds();

// Runs a command through /bin/bash with the given shell flags, without Qt, and waits for it.
int runShell(const std::vector<std::string>& argv);

double median(std::vector<double> values);
std::string machineLine();

} // namespace tolvane::bench
