// Qt's offscreen platform: the X11 native interface is there, but it has no connection.
#include "app/frm1.h"
#include "hotkeys/cRegHotKey.h"
#include "platform/Error.h"
#include "platform/LastResort.h"
#include "platform/LinuxPlatform.h"
#include "player/FakePlayer.h"

#include "../WaitUntil.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;

const QString RefusedWithoutX11 = QStringLiteral("Failed to Register Hot Key [Invalid window handle.\r\n]");

using testing_support::WaitUntil;

TEST(NoX11, RegisteringAHotKeyFailsWithAnErrorAndLeavesTheTableEmpty)
{
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_NE(x11, nullptr) << "this Qt's offscreen platform offers no X11 interface";
    ASSERT_EQ(x11->connection(), nullptr);

    platform::LastResort lastResort;
    platform::LinuxPlatform platform(lastResort);
    EXPECT_FALSE(platform.HasX11());
    QWidget window;
    hotkeys::cRegHotKey registry(platform);
    registry.Attach(platform.RegisterWindow(window));

    try {
        registry.RegisterKey(QStringLiteral("spielen"), 114, 0);
        ADD_FAILURE() << "a hot key was registered without an X11 connection";
    } catch (const platform::Error& e) {
        EXPECT_EQ(e.number(), platform::ObjectErrorNumber(hotkeys::cRegHotKey::ErrRegister));
        EXPECT_EQ(e.description(), RefusedWithoutX11);
    }
    EXPECT_TRUE(registry.Keys().empty());
}

TEST(NoX11, WindowLoadFailsAtTheFirstKeyAndTheWindowGoesQuietly)
{
    platform::LastResort lastResort;
    platform::LinuxPlatform platform(lastResort);
    {
        app::frm1 window(platform, lastResort, std::make_unique<player::FakePlayer>());
        try {
            window.Form_Load();
            ADD_FAILURE() << "Form_Load succeeded without an X11 connection";
        } catch (const platform::Error& e) {
            EXPECT_EQ(e.number(), -2147220453);
            EXPECT_EQ(e.description(), RefusedWithoutX11);
        }
        ASSERT_NE(window.HotKeys(), nullptr);
        EXPECT_TRUE(window.HotKeys()->Keys().empty());
    }
    EXPECT_FALSE(lastResort.Failed()) << "destroying the window raised an error";
}

TEST(NoX11, ProgramReportsTheRefusedKeyKeepsRunningAndEndsOnSigterm)
{
    const QString binary = qEnvironmentVariable("HORCHPULT_BINARY");
    ASSERT_FALSE(binary.isEmpty()) << "HORCHPULT_BINARY is not set";
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    program.setProcessEnvironment(environment);
    program.setStandardOutputFile(QProcess::nullDevice());
    program.start(binary, {});
    ASSERT_TRUE(program.waitForStarted(5000));

    QByteArray errors;
    const auto reported = [&] {
        errors += program.readAllStandardError();
        return errors.contains(RefusedWithoutX11.toUtf8()) || program.state() == QProcess::NotRunning;
    };
    ASSERT_TRUE(WaitUntil(reported, 20s)) << "the program reported nothing";
    EXPECT_TRUE(errors.contains("-2147220453")) << errors.constData();
    EXPECT_TRUE(errors.contains(RefusedWithoutX11.toUtf8())) << errors.constData();

    // Its message box waits for the user; the program must neither crash nor leave meanwhile.
    EXPECT_FALSE(program.waitForFinished(500)) << "the program ended while its message box was open; status "
                                               << program.exitStatus() << ", errors: " << errors.constData();
    ASSERT_EQ(program.state(), QProcess::Running);

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(15000)) << "SIGTERM did not end the program";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << "the program crashed on SIGTERM";
    EXPECT_EQ(program.exitCode(), platform::LastResort::FailureExitCode)
        << "a program whose start failed must end with a failure status";
}

} // namespace
