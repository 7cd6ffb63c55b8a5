// Drives the real tolvane-server program through `bash -l -c`, as the controller does, with its data
// folder and HOME in a temporary folder. Every test stops what it started.

#include "ServerHarness.h"

#include <algorithm>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <set>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tolvane::test {
namespace {

using namespace std::chrono_literals;

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5s)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

size_t lineCount(const std::string& text)
{
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

std::set<std::string> entries(const fs::path& folder)
{
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

pid_t pidIn(const fs::path& folder)
{
    std::string text = readFile(folder / "tolvane.pid");
    return text.empty() ? 0 : static_cast<pid_t>(std::strtol(text.c_str(), nullptr, 10));
}

class ServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tolvane-server-it-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        fs::create_directory(home());
        env_ = {{"HOME", home().string()},
                {"TOLVANE_HOME", data().string()},
                {"TOLVANE_SERVER_START_DELAY_MS", std::nullopt}};
        ASSERT_TRUE(eventually([] { return !portAnswers(); }))
            << "something else listens on 127.0.0.1:8008; these tests need the port free";
    }

    void TearDown() override
    {
        remember(pidIn(currentDataFolder()));
        runServer({"stop"}, env_, cwd_);
        for (pid_t pid : servers_) {
            if (!eventually([pid] { return processGone(pid); }, 3s)) {
                ADD_FAILURE() << "server process " << pid << " was left running";
                if (readFile("/proc/" + std::to_string(pid) + "/cmdline").find("tolvane-server") !=
                    std::string::npos) {
                    ::kill(pid, SIGKILL);
                }
            }
        }
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    fs::path home() const { return root_ / "home"; }
    fs::path data() const { return root_ / "data"; }

    // Where the program should put its files for the current environment.
    fs::path currentDataFolder() const
    {
        auto it = env_.find("TOLVANE_HOME");
        if (it == env_.end() || !it->second || it->second->empty()) {
            return home() / ".tolvane";
        }
        fs::path value = *it->second;
        return value.is_absolute() ? value : cwd_ / value;
    }

    RunResult run(const std::vector<std::string>& words) { return runServer(words, env_, cwd_); }

    int status()
    {
        RunResult r = run({"status"});
        EXPECT_TRUE(r.exited) << "status did not exit normally: " << r.code;
        return r.code;
    }

    // Starts the server and checks it answers; returns its pid (0 after a failed assertion).
    pid_t startServer()
    {
        RunResult r = run({"start"});
        EXPECT_FALSE(r.timedOut) << "start, or the server it left, kept the output pipe open";
        EXPECT_TRUE(r.exited);
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        pid_t pid = pidIn(currentDataFolder());
        EXPECT_GT(pid, 0) << "no pid file after start";
        remember(pid);
        return pid;
    }

    void remember(pid_t pid)
    {
        if (pid > 0) {
            servers_.insert(pid);
        }
    }

    fs::path root_;
    fs::path cwd_;
    EnvOverrides env_;
    std::set<pid_t> servers_;
};

TEST_F(ServerTest, StartServesThePageStatusFollowsAndStopEndsIt)
{
    ASSERT_EQ(status(), 1);
    EXPECT_FALSE(fs::exists(data())) << "status must not create the data folder";

    RunResult started = run({"start"});
    ASSERT_FALSE(started.timedOut) << "start, or the server it left, kept the output pipe open";
    ASSERT_TRUE(started.exited);
    ASSERT_EQ(started.code, 0) << started.out << started.err;
    EXPECT_NE(started.out.find("running at http://127.0.0.1:8008/"), std::string::npos) << started.out;
    pid_t pid = pidIn(data());
    remember(pid);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(readFile(data() / "last-start"), "running\n");

    ASSERT_TRUE(eventually([&] { return status() == 0; }));
    RunResult running = run({"status"});
    EXPECT_EQ(running.out, "Tolvane is running at http://127.0.0.1:8008/ (data: " + data().string() + ")\n");

    auto reply = httpGet("/any/path?x=1");
    ASSERT_TRUE(reply.has_value()) << "nothing answered on 127.0.0.1:8008";
    EXPECT_EQ(reply->statusLine, "HTTP/1.0 200 OK");
    EXPECT_EQ(reply->headers["Connection"], "close");
    EXPECT_EQ(reply->headers["Content-Length"], std::to_string(reply->body.size()));
    EXPECT_NE(reply->body.find("<title>Tolvane</title>"), std::string::npos) << reply->body;
    EXPECT_NE(reply->body.find(data().string()), std::string::npos) << reply->body;

    RunResult stopped = run({"stop"});
    ASSERT_TRUE(stopped.exited);
    EXPECT_EQ(stopped.code, 0) << stopped.err;
    EXPECT_EQ(stopped.out, "Tolvane is stopped.\n");
    // stop returns only once the server is gone and the port is free again.
    EXPECT_TRUE(processGone(pid));
    EXPECT_FALSE(portAnswers());
    EXPECT_FALSE(fs::exists(data() / "tolvane.pid"));
    EXPECT_EQ(status(), 1);

    RunResult again = run({"stop"});
    EXPECT_TRUE(again.exited);
    EXPECT_EQ(again.code, 0) << "stop when not running must succeed";
}

// What a browser gets back for what browsers send: the whole status line, every header line and the
// whole page, and the connection closed by the server so that the page is known to be complete.
TEST_F(ServerTest, BrowserReceivesTheWholePageWithItsHeadersAndTheConnectionClosed)
{
    using ::testing::UnorderedElementsAre;
    const pid_t pid = startServer();
    ASSERT_GT(pid, 0);
    const std::string page =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Tolvane</title></head>\n"
        "<body><h1>Tolvane</h1><p>Data folder: <code>" +
        data().string() + "</code></p></body></html>\n";

    struct Request {
        const char* name;
        std::string text;
        bool withBody;
    };
    const Request requests[] = {
        {"BrowserAddressBar",
         "GET / HTTP/1.1\r\nHost: 127.0.0.1:8008\r\nUser-Agent: Mozilla/5.0 (X11; Linux x86_64)\r\n"
         "Accept: text/html,application/xhtml+xml,*/*;q=0.8\r\nAccept-Language: en\r\n"
         "Connection: keep-alive\r\nUpgrade-Insecure-Requests: 1\r\n\r\n",
         true},
        {"AnyPathAndQuery", "GET /any/path?x=1 HTTP/1.0\r\nHost: 127.0.0.1:8008\r\n\r\n", true},
        {"FaviconRequest", "GET /favicon.ico HTTP/1.1\r\nHost: 127.0.0.1:8008\r\n\r\n", true},
        {"BareLineFeeds", "GET / HTTP/1.0\nHost: 127.0.0.1:8008\n\n", true},
        {"HeadRequest", "HEAD / HTTP/1.1\r\nHost: 127.0.0.1:8008\r\n\r\n", false},
    };
    for (const Request& request : requests) {
        SCOPED_TRACE(request.name);
        auto reply = httpExchange(request.text);
        ASSERT_TRUE(reply.has_value()) << "no reply with a complete head on 127.0.0.1:8008";
        EXPECT_TRUE(reply->closedByServer) << "the server kept the connection open after its reply";
        EXPECT_EQ(reply->statusLine, "HTTP/1.0 200 OK");
        // A HEAD reply announces the length of the page that GET would send.
        EXPECT_THAT(reply->headerLines,
                    UnorderedElementsAre("Content-Type: text/html; charset=utf-8",
                                         "Content-Length: " + std::to_string(page.size()),
                                         "Connection: close", "X-Tolvane-Pid: " + std::to_string(pid)));
        EXPECT_EQ(reply->body, request.withBody ? page : std::string());
    }
}

TEST_F(ServerTest, PageEscapesTheDataFolderPath)
{
    fs::path odd = root_ / "a&b <c> \"q\"";
    env_["TOLVANE_HOME"] = odd.string();
    startServer();
    auto reply = httpGet("/");
    ASSERT_TRUE(reply.has_value());
    EXPECT_NE(reply->body.find(root_.string() + "/a&amp;b &lt;c&gt; &quot;q&quot;"), std::string::npos)
        << reply->body;
    EXPECT_EQ(reply->body.find("<c>"), std::string::npos) << "raw markup from the path in the page";
}

TEST_F(ServerTest, SecondStartKeepsTheRunningServerAndUserFiles)
{
    fs::create_directories(data());
    writeFile(data() / "notes.txt", "my notes\n");
    pid_t first = startServer();
    ASSERT_GT(first, 0);

    RunResult second = run({"start"});
    EXPECT_TRUE(second.exited);
    EXPECT_EQ(second.code, 0);
    EXPECT_NE(second.out.find("already running"), std::string::npos) << second.out;
    EXPECT_EQ(pidIn(data()), first);
    EXPECT_FALSE(processGone(first));
    auto reply = httpGet("/");
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->headers["X-Tolvane-Pid"], std::to_string(first)) << "a second server answers";

    EXPECT_EQ(run({"stop"}).code, 0);
    EXPECT_EQ(readFile(data() / "notes.txt"), "my notes\n");
}

TEST_F(ServerTest, PortHeldByAnotherListenerGivesFailedStart)
{
    int listener = listenOn8008();
    ASSERT_GE(listener, 0) << "could not take port 8008 for the test";

    RunResult started = run({"start"});
    EXPECT_TRUE(started.exited);
    EXPECT_NE(started.code, 0);
    EXPECT_NE((started.out + started.err).find("8008"), std::string::npos) << started.out << started.err;
    remember(pidIn(data()));
    RunResult failed = run({"status"});
    EXPECT_EQ(failed.code, 6) << failed.out;
    EXPECT_NE(failed.out.find("port 8008 in use"), std::string::npos) << failed.out;

    // stop clears the failure; once the port is free a new start works.
    EXPECT_EQ(run({"stop"}).code, 0);
    EXPECT_EQ(status(), 1);
    ::close(listener);
    startServer();
    EXPECT_EQ(status(), 0);
}

TEST_F(ServerTest, StatusReportsStartingUntilTheServerAnswers)
{
    env_["TOLVANE_SERVER_START_DELAY_MS"] = "1500";
    ServerRun start({"start"}, env_);
    EXPECT_TRUE(eventually([&] { return status() == 4; })) << "never saw status 4 while the server waited";
    remember(pidIn(data()));
    EXPECT_FALSE(portAnswers()) << "nothing may listen before the delay has passed";

    RunResult started = start.finish();
    EXPECT_FALSE(started.timedOut);
    EXPECT_EQ(started.code, 0) << started.out << started.err;
    EXPECT_EQ(status(), 0);
}

TEST_F(ServerTest, StopWhileStartingEndsTheServer)
{
    env_["TOLVANE_SERVER_START_DELAY_MS"] = "20000";
    ServerRun start({"start"}, env_);
    ASSERT_TRUE(eventually([&] { return status() == 4; }));
    pid_t pid = pidIn(data());
    remember(pid);
    ASSERT_GT(pid, 0);

    RunResult stopped = run({"stop"});
    EXPECT_EQ(stopped.code, 0) << stopped.err;
    EXPECT_TRUE(processGone(pid));
    EXPECT_EQ(status(), 1);
    // The waiting start notices the server went away instead of waiting out its budget.
    RunResult started = start.finish(10s);
    EXPECT_FALSE(started.timedOut);
    EXPECT_TRUE(started.exited);
    EXPECT_NE(started.code, 0);
}

TEST_F(ServerTest, ServesAClientWhileAnotherIsIdle)
{
    startServer();
    int idle = connectTo8008(); // connects and never sends a request
    ASSERT_GE(idle, 0);
    auto reply = httpGet("/", 3s);
    EXPECT_TRUE(reply.has_value()) << "an idle client blocked everyone else";

    std::vector<std::optional<HttpReply>> replies(8);
    std::vector<std::thread> clients;
    for (auto& slot : replies) {
        clients.emplace_back([&slot] { slot = httpGet("/"); });
    }
    for (auto& client : clients) {
        client.join();
    }
    for (const auto& r : replies) {
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(r->statusLine, "HTTP/1.0 200 OK");
    }
    ::close(idle);
}

TEST_F(ServerTest, ClosedOutputPipeDoesNotChangeTheOutcome)
{
    struct Step {
        std::vector<std::string> words;
        int code;        // exit status with nobody reading the output
        int statusAfter; // a normal status run afterwards
    };
    const Step steps[] = {
        {{"status"}, 1, 1}, {{"bogus"}, 2, 1}, {{"start"}, 0, 0},
        {{"status"}, 0, 0}, {{"start"}, 0, 0}, {{"stop"}, 0, 1},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.words[0]);
        RunResult r = runWithClosedPipe(step.words, env_);
        remember(pidIn(data()));
        ASSERT_FALSE(r.timedOut);
        EXPECT_TRUE(r.exited) << "ended by signal " << r.code;
        EXPECT_EQ(r.code, step.code);
        EXPECT_EQ(status(), step.statusAfter);
    }
}

struct StaleCase {
    const char* name;
    enum { DeadPid, BystanderPid, Garbage } pidFile;
    const char* lastStart;
    int statusBefore;
};

// gtest prints rows with this instead of dumping their bytes.
void PrintTo(const StaleCase& row, std::ostream* os)
{
    *os << row.name;
}

class StaleStateTest : public ServerTest, public ::testing::WithParamInterface<StaleCase> {
protected:
    void TearDown() override
    {
        ServerTest::TearDown();
        if (bystander_ > 0) {
            ::kill(bystander_, SIGKILL);
            ::waitpid(bystander_, nullptr, 0);
        }
    }

    pid_t bystander_ = 0;
};

TEST_P(StaleStateTest, StatusAndStopIgnoreAStalePidFile)
{
    const StaleCase& row = GetParam();
    std::string pidText = "not a pid\n";
    if (row.pidFile == StaleCase::DeadPid) {
        pid_t dead = ::fork();
        if (dead == 0) {
            _exit(0);
        }
        ::waitpid(dead, nullptr, 0);
        pidText = std::to_string(dead) + "\n";
    } else if (row.pidFile == StaleCase::BystanderPid) {
        bystander_ = ::fork();
        if (bystander_ == 0) {
            ::execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
            _exit(127);
        }
        pidText = std::to_string(bystander_) + "\n";
    }
    // What a server killed without warning leaves behind.
    fs::create_directories(data());
    writeFile(data() / "tolvane.pid", pidText);
    writeFile(data() / "last-start", std::string(row.lastStart) + "\n");
    writeFile(data() / "server.lock", "");

    EXPECT_EQ(status(), row.statusBefore);
    EXPECT_EQ(run({"stop"}).code, 0);
    if (bystander_ > 0) {
        EXPECT_EQ(::waitpid(bystander_, nullptr, WNOHANG), 0) << "stop killed an unrelated process";
    }
    EXPECT_EQ(status(), 1);

    pid_t server = startServer();
    EXPECT_NE(server, bystander_);
    EXPECT_EQ(status(), 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, StaleStateTest,
                         ::testing::Values(StaleCase{"DeadPid", StaleCase::DeadPid, "running", 1},
                                           StaleCase{"BystanderPid", StaleCase::BystanderPid, "running", 1},
                                           StaleCase{"BystanderAfterFailure", StaleCase::BystanderPid,
                                                     "failed: port 8008 in use", 6},
                                           StaleCase{"GarbagePid", StaleCase::Garbage, "starting", 1}),
                         [](const auto& param) { return std::string(param.param.name); });

struct LocationCase {
    const char* name;
    std::optional<std::string> tolvaneHome; // "{root}" stands for the test's temporary folder
    const char* expected;                   // relative to the temporary folder
};

// gtest prints rows with this instead of dumping their bytes.
void PrintTo(const LocationCase& row, std::ostream* os)
{
    *os << row.name;
}

class DataFolderLocationTest : public ServerTest, public ::testing::WithParamInterface<LocationCase> {};

TEST_P(DataFolderLocationTest, StartCreatesTheFolderAndThePageNamesIt)
{
    const LocationCase& row = GetParam();
    cwd_ = root_; // a relative TOLVANE_HOME is taken from the caller's working folder
    if (row.tolvaneHome) {
        std::string value = *row.tolvaneHome;
        if (value.rfind("{root}", 0) == 0) {
            value = root_.string() + value.substr(6);
        }
        env_["TOLVANE_HOME"] = value;
    } else {
        env_["TOLVANE_HOME"] = std::nullopt;
    }
    const fs::path expected = root_ / row.expected;
    ASSERT_EQ(currentDataFolder(), expected);

    startServer();
    EXPECT_TRUE(fs::is_directory(expected));
    EXPECT_GT(pidIn(expected), 0) << "pid file not in " << expected;
    auto reply = httpGet("/");
    ASSERT_TRUE(reply.has_value());
    EXPECT_NE(reply->body.find("<code>" + expected.string() + "</code>"), std::string::npos) << reply->body;
    if (!fs::path(row.expected).is_absolute()) {
        EXPECT_FALSE(fs::exists(fs::path("/") / row.expected))
            << "files written relative to the server's cwd";
    }
    EXPECT_EQ(run({"stop"}).code, 0);
    EXPECT_EQ(status(), 1);
}

INSTANTIATE_TEST_SUITE_P(Rows, DataFolderLocationTest,
                         ::testing::Values(LocationCase{"Nested", "{root}/a/b/c/data", "a/b/c/data"},
                                           LocationCase{"Unset", std::nullopt, "home/.tolvane"},
                                           LocationCase{"Empty", "", "home/.tolvane"},
                                           LocationCase{"Relative", "rel/data", "rel/data"}),
                         [](const auto& param) { return std::string(param.param.name); });

struct BadInputCase {
    const char* name;
    std::vector<std::string> words;
    enum { Data, UnderRegularFile, RegularFile } folder;
    int code;
    const char* message; // part of the single line on stderr
};

// gtest prints rows with this instead of dumping their bytes.
void PrintTo(const BadInputCase& row, std::ostream* os)
{
    *os << row.name;
}

class BadInputTest : public ServerTest, public ::testing::WithParamInterface<BadInputCase> {};

TEST_P(BadInputTest, RejectedWithOneLineAndNothingLost)
{
    const BadInputCase& row = GetParam();
    fs::create_directories(data());
    writeFile(data() / "notes.txt", "my notes\n");
    const fs::path blocker = root_ / "blocker";
    writeFile(blocker, "precious\n");
    if (row.folder == BadInputCase::UnderRegularFile) {
        env_["TOLVANE_HOME"] = (blocker / "data").string();
    } else if (row.folder == BadInputCase::RegularFile) {
        env_["TOLVANE_HOME"] = blocker.string();
    }

    RunResult r = run(row.words);
    ASSERT_TRUE(r.exited);
    EXPECT_EQ(r.code, row.code) << r.err;
    EXPECT_EQ(lineCount(r.err), 1u) << r.err;
    EXPECT_EQ(r.err.back(), '\n');
    EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");

    EXPECT_EQ(readFile(blocker), "precious\n");
    EXPECT_EQ(entries(data()), std::set<std::string>{"notes.txt"});
    EXPECT_EQ(readFile(data() / "notes.txt"), "my notes\n");
    EXPECT_FALSE(portAnswers()) << "a rejected command started a server";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BadInputTest,
    ::testing::Values(
        BadInputCase{"UnknownWord", {"restart"}, BadInputCase::Data, 2, "unknown command 'restart'"},
        BadInputCase{"NoWord", {}, BadInputCase::Data, 2, "expected start, stop or status"},
        BadInputCase{"TwoWords", {"start", "stop"}, BadInputCase::Data, 2, "too many arguments"},
        BadInputCase{"WordWithNewline", {"sta\nrt"}, BadInputCase::Data, 2, "unknown command"},
        BadInputCase{"StartUnderRegularFile", {"start"}, BadInputCase::UnderRegularFile, 3, "blocker/data"},
        BadInputCase{"StatusUnderRegularFile", {"status"}, BadInputCase::UnderRegularFile, 3, "blocker/data"},
        BadInputCase{"StopUnderRegularFile", {"stop"}, BadInputCase::UnderRegularFile, 3, "blocker/data"},
        BadInputCase{"StartOnRegularFile", {"start"}, BadInputCase::RegularFile, 3, "not a folder"}),
    [](const auto& param) { return std::string(param.param.name); });

} // namespace
} // namespace tolvane::test
