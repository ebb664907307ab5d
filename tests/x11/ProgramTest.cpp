// The real program, started as a user starts it, seen from other X clients.
#include "XClient.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <X11/keysym.h>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using xtest::WaitUntil;
using xtest::XClient;
using xtest::XWindow;

const char* const WindowTitle = "horchpult";
const char* const MessageBoxTitle = "Horchpult";

class Program {
public:
    explicit Program(const QString& display = qEnvironmentVariable("DISPLAY"), const QStringList& arguments = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("DISPLAY"), display);
        m_process.setProcessEnvironment(environment);
        m_process.setProgram(qEnvironmentVariable("HORCHPULT_BINARY"));
        m_process.setArguments(arguments);
        m_process.setStandardOutputFile(QProcess::nullDevice());
    }
    ~Program()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Start()
    {
        if (m_process.program().isEmpty())
            return false;
        m_process.start();
        return m_process.waitForStarted(5000);
    }
    bool Running() const { return m_process.state() == QProcess::Running; }
    void Signal(int signal) const { ::kill(static_cast<pid_t>(m_process.processId()), signal); }
    bool WaitForExit() { return WaitUntil([&] { return !Running(); }, 15s); }
    QProcess::ExitStatus ExitStatus() const { return m_process.exitStatus(); }
    int ExitCode() const { return m_process.exitCode(); }
    QByteArray Stderr()
    {
        m_stderr += m_process.readAllStandardError();
        return m_stderr;
    }

private:
    QProcess m_process;
    QByteArray m_stderr;
};

bool HoldsAllKeys(XClient& other)
{
    return !other.CanGrab(XK_F1) && !other.CanGrab(XK_F2) && !other.CanGrab(XK_F3);
}

// The program's window once it is shown. It is shown after Form_Load has registered the keys,
// so waiting for it never races the program's grabs the way probing them with grabs would.
XWindow WaitForWindow(XClient& user, Program& program, const char* title)
{
    XWindow window = 0;
    WaitUntil([&] { return (window = user.FindWindow(title)) != 0 || !program.Running(); }, 20s);
    return window;
}

class ProgramTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("HORCHPULT_BINARY")) << "HORCHPULT_BINARY is not set";
        ASSERT_TRUE(user.IsUsable()) << "no X display with XTest";
        ASSERT_TRUE(first.Start()) << "the program did not start";
        window = WaitForWindow(user, first, WindowTitle);
        ASSERT_NE(window, 0u) << "the program showed no window; its errors: " << first.Stderr().constData();
        ASSERT_TRUE(HoldsAllKeys(user)) << "the program shows its window without holding F1, F2 and F3";
    }

    XClient user;
    Program first;
    XWindow window = 0;
};

TEST_F(ProgramTest, SecondCopyIsRefusedThroughTheLastResortAndTheFirstKeepsItsKeys)
{
    Program second;
    ASSERT_TRUE(second.Start());
    ASSERT_TRUE(WaitUntil([&] { return second.Stderr().contains("-2147220453") || !second.Running(); }, 20s))
        << "the second copy reported nothing";
    EXPECT_TRUE(second.Stderr().contains("Failed to Register Hot Key [Hot key is already registered.\r\n]"))
        << "standard error of the second copy: " << second.Stderr().constData();

    const XWindow box = WaitForWindow(user, second, MessageBoxTitle);
    ASSERT_NE(box, 0u) << "the second copy showed no message box titled " << MessageBoxTitle;
    EXPECT_TRUE(second.Running()) << "the second copy ended before its message box was closed";
    ASSERT_TRUE(user.TypeInto(box, {XK_Return}));
    ASSERT_TRUE(second.WaitForExit()) << "closing the message box did not end the second copy";
    EXPECT_EQ(second.ExitStatus(), QProcess::NormalExit);
    EXPECT_NE(second.ExitCode(), 0) << "a copy that could not register its keys ended with status 0";

    EXPECT_TRUE(first.Running()) << "the first copy did not survive the second";
    EXPECT_TRUE(HoldsAllKeys(user)) << "the first copy lost a key to the second";
}

// Without a display: a program that went on to show a window would fail on that instead.
TEST(ProgramCommandLine, AnythingButOneFileGetsTheUsageAndStatus2BeforeAnyWindow)
{
    const std::vector<QStringList> wrong = {
        {QStringLiteral("one.wav"), QStringLiteral("two.wav")},
        {QStringLiteral("--fullscreen")},
        {QStringLiteral("-h")},
        {QStringLiteral("-")},
        {QStringLiteral("--"), QStringLiteral("one.wav"), QStringLiteral("two.wav")},
    };
    for (const QStringList& arguments : wrong) {
        const std::string line = arguments.join(u' ').toStdString();
        Program program(QString(), arguments);
        ASSERT_TRUE(program.Start());
        ASSERT_TRUE(program.WaitForExit()) << line;
        EXPECT_EQ(program.ExitStatus(), QProcess::NormalExit) << line;
        EXPECT_EQ(program.ExitCode(), 2) << line;
        const QByteArray said = program.Stderr();
        EXPECT_TRUE(said.startsWith("usage: horchpult [FILE]") && said.count('\n') == 1 && said.endsWith('\n'))
            << "for '" << line << "' standard error holds: " << said.constData();
    }
}

TEST(ProgramCommandLine, AMissingFileGetsTheMessageOfTheMenuAndTheWindowStays)
{
    XClient user;
    ASSERT_TRUE(user.IsUsable()) << "no X display with XTest";
    Program program(qEnvironmentVariable("DISPLAY"), {QStringLiteral("/no/such/folder/interview.wav")});
    ASSERT_TRUE(program.Start());
    ASSERT_NE(WaitForWindow(user, program, WindowTitle), 0u) << "no window; errors: " << program.Stderr().constData();
    const XWindow box = WaitForWindow(user, program, MessageBoxTitle);
    ASSERT_NE(box, 0u) << "no message box titled " << MessageBoxTitle;
    ASSERT_TRUE(user.TypeInto(box, {XK_Return}));
    EXPECT_TRUE(WaitUntil([&] { return user.FindWindow(MessageBoxTitle) == 0; }, 5s)) << "the message box stays";
    EXPECT_TRUE(program.Running()) << "the program ended: " << program.Stderr().constData();
    EXPECT_NE(user.FindWindow(WindowTitle), 0u) << "the window went";
    EXPECT_TRUE(HoldsAllKeys(user));
}

struct Ending {
    const char* label;
    std::function<void(Program&, XClient&, XWindow)> end;
    bool clean;
};

void PrintTo(const Ending& e, std::ostream* os)
{
    *os << e.label;
}

class ProgramEndingTest : public ProgramTest, public testing::WithParamInterface<Ending> {};

TEST_P(ProgramEndingTest, GivesF1F2AndF3BackToOtherClients)
{
    GetParam().end(first, user, window);

    ASSERT_TRUE(first.WaitForExit()) << "the program did not end";
    EXPECT_TRUE(WaitUntil([&] { return user.CanGrabAll({XK_F1, XK_F2, XK_F3}); }, 3s))
        << "another client cannot grab F1, F2 and F3 after the program ended";
    if (GetParam().clean) {
        EXPECT_EQ(first.ExitStatus(), QProcess::NormalExit);
        EXPECT_EQ(first.ExitCode(), 0) << "standard error: " << first.Stderr().constData();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ProgramEndingTest,
    testing::Values(
        Ending{"QuitByCtrlE",
               [](Program&, XClient& user, XWindow window) { ASSERT_TRUE(user.TypeInto(window, {XK_Control_L, XK_e})); },
               true},
        Ending{"CloseBox", [](Program&, XClient& user, XWindow window) { ASSERT_TRUE(user.Close(window)); }, true},
        Ending{"Sigterm", [](Program& program, XClient&, XWindow) { program.Signal(SIGTERM); }, true},
        Ending{"Sigint", [](Program& program, XClient&, XWindow) { program.Signal(SIGINT); }, true},
        Ending{"Sigkill", [](Program& program, XClient&, XWindow) { program.Signal(SIGKILL); }, false}),
    [](const testing::TestParamInfo<Ending>& p) { return std::string(p.param.label); });

// An X server of the test's own, which it can take away.
class XServer {
public:
    XServer()
    {
        m_process.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                                                 QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                                                 QStringLiteral("800x600x24")});
        if (m_process.waitForReadyRead(10000))
            m_display = QStringLiteral(":") + QString::fromLatin1(m_process.readLine().trimmed());
    }
    ~XServer() { Kill(); }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    const QString& Display() const { return m_display; }
    void Kill()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
    QString m_display;
};

TEST(ProgramWithoutXServer, EndsWithoutHangingWhenTheServerGoesAway)
{
    XServer server;
    ASSERT_FALSE(server.Display().isEmpty()) << "Xvfb did not start";
    Program program(server.Display());
    ASSERT_TRUE(program.Start());
    {
        XClient user(server.Display().toLatin1().constData());
        ASSERT_NE(WaitForWindow(user, program, WindowTitle), 0u) << "no window; errors: " << program.Stderr().constData();
    }
    // The player's engine comes up right after the window is shown.
    std::this_thread::sleep_for(500ms);
    server.Kill();
    EXPECT_TRUE(WaitUntil([&] { return !program.Running(); }, 5s)) << "the program outlived its X server by 5 s";
    EXPECT_EQ(program.ExitStatus(), QProcess::NormalExit) << "standard error: " << program.Stderr().constData();
}

} // namespace
