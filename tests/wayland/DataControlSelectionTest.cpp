#include "../WaitUntil.h"
#include "platform/wayland/DataControlSelection.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <ostream>
#include <vector>

// Reading the selections of a headless sway, which wl-copy owns, as the compositor's
// data-control protocol lets any client read them.

using platform::DataControlSelection;
using platform::SelectionReading;
using platform::SelectionText;
using Outcome = SelectionText::Outcome;
using testing_support::WaitUntil;

namespace {

constexpr std::size_t Limit = 64 * 1024;
constexpr auto Settled = std::chrono::milliseconds(SelectionReading::AnswerMs + 100);
const QString TextType = QStringLiteral("text/plain;charset=utf-8");

// Runs a program to its end, its output unseen; whether it succeeded.
bool Succeeds(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished() && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Every answer one reading gave, and when the first came.
struct Answers {
    std::vector<SelectionText> texts;
    qint64 ms = -1;
    QElapsedTimer clock;

    SelectionReading::Done Take()
    {
        clock.start();
        return [this](const SelectionText& text) {
            if (texts.empty())
                ms = clock.elapsed();
            texts.push_back(text);
        };
    }
};

class DataControlSelectionTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Succeeds(QStringLiteral("wl-copy"), {QStringLiteral("--clear")}));
        ASSERT_TRUE(Succeeds(QStringLiteral("wl-copy"), {QStringLiteral("--primary"), QStringLiteral("--clear")}));
        m_reader = DataControlSelection::Open();
        ASSERT_TRUE(m_reader) << "no data-control device on WAYLAND_DISPLAY=" << qgetenv("WAYLAND_DISPLAY").constData();
    }

    void TearDown() override
    {
        for (const auto& owner : m_owners) {
            owner->kill();
            owner->waitForFinished();
        }
    }

    // wl-copy takes the selection with bytes and keeps it until the test ends.
    QProcess& Own(bool primary, const QByteArray& bytes, const QString& type = TextType)
    {
        auto& input = m_inputs.emplace_back(std::make_unique<QTemporaryFile>());
        EXPECT_TRUE(input->open() && input->write(bytes) == bytes.size() && input->flush());
        auto& owner = m_owners.emplace_back(std::make_unique<QProcess>());
        owner->setStandardInputFile(input->fileName());
        QStringList arguments{QStringLiteral("--foreground"), QStringLiteral("--type"), type};
        if (primary)
            arguments << QStringLiteral("--primary");
        owner->start(QStringLiteral("wl-copy"), arguments);
        QStringList listing{QStringLiteral("--list-types")};
        if (primary)
            listing << QStringLiteral("--primary");
        EXPECT_TRUE(WaitUntil([&] { return Succeeds(QStringLiteral("wl-paste"), listing); }))
            << "wl-copy did not take the " << (primary ? "primary selection" : "clipboard");
        return *owner;
    }

    // Reads and waits until the deadline has long passed, so that a late second answer shows.
    Answers ReadAll(std::size_t limit = Limit)
    {
        Answers answers;
        m_reader->Read(limit, answers.Take());
        WaitUntil([] { return false; }, Settled);
        return answers;
    }

    std::unique_ptr<DataControlSelection> m_reader;
    std::vector<std::unique_ptr<QTemporaryFile>> m_inputs;
    std::vector<std::unique_ptr<QProcess>> m_owners;
};

struct Held {
    const char* name;
    QByteArray primary;
    QString primaryType;
    QByteArray clipboard;
    Outcome outcome;
    QByteArray bytes;
    QString source;
};

void PrintTo(const Held& held, std::ostream* out)
{
    *out << held.name;
}

class WhatIsHeld : public DataControlSelectionTest, public testing::WithParamInterface<Held> {};

TEST_P(WhatIsHeld, IsReadFromTheSelectionThenTheClipboard)
{
    const Held& held = GetParam();
    if (!held.primary.isEmpty())
        Own(true, held.primary, held.primaryType);
    if (!held.clipboard.isEmpty())
        Own(false, held.clipboard);

    const Answers answers = ReadAll();

    ASSERT_EQ(answers.texts.size(), 1u) << "answers to one reading";
    EXPECT_EQ(answers.texts[0].outcome, held.outcome);
    EXPECT_EQ(answers.texts[0].bytes, held.bytes);
    EXPECT_EQ(answers.texts[0].source, held.source);
}

INSTANTIATE_TEST_SUITE_P(
    DataControl, WhatIsHeld,
    testing::Values(Held{"SelectionOnly", "00:12:34.5", TextType, {}, Outcome::Read, "00:12:34.5", "selection"},
                    Held{"ClipboardOnly", {}, {}, "01:02:03", Outcome::Read, "01:02:03", "clipboard"},
                    Held{"Both", "00:12:34.5", TextType, "01:02:03", Outcome::Read, "00:12:34.5", "selection"},
                    Held{"SelectionWithoutText", "\x89PNG", "image/png", "01:02:03", Outcome::Read, "01:02:03",
                         "clipboard"},
                    Held{"Neither", {}, {}, {}, Outcome::NothingThere, {}, {}}),
    [](const testing::TestParamInfo<Held>& row) { return row.param.name; });

TEST_F(DataControlSelectionTest, LargeSelectionIsReadUpToTheLimitInTime)
{
    QByteArray large(5 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(large.data()), large.size() / sizeof(quint32));
    Own(true, large);

    const Answers answers = ReadAll();

    ASSERT_EQ(answers.texts.size(), 1u);
    EXPECT_EQ(answers.texts[0].outcome, Outcome::Read);
    EXPECT_TRUE(answers.texts[0].bytes == large.first(Limit)) << "read " << answers.texts[0].bytes.size() << " bytes";
    EXPECT_LT(answers.ms, SelectionReading::AnswerMs / 2);
    RecordProperty("ms", static_cast<int>(answers.ms));
}

TEST_F(DataControlSelectionTest, SecondReadingEndsTheFirst)
{
    Own(true, "00:00:07");
    Answers first;
    Answers second;

    m_reader->Read(Limit, first.Take());
    m_reader->Read(Limit, second.Take());
    ASSERT_EQ(first.texts.size(), 1u) << "the first reading was not ended when the second began";
    WaitUntil([] { return false; }, Settled);

    EXPECT_EQ(first.texts.size(), 1u);
    EXPECT_EQ(first.texts[0].outcome, Outcome::NoAnswer);
    ASSERT_EQ(second.texts.size(), 1u);
    EXPECT_EQ(second.texts[0].outcome, Outcome::Read);
    EXPECT_EQ(second.texts[0].bytes, "00:00:07");
}

TEST_F(DataControlSelectionTest, OwnerThatNeverWritesGetsNoAnswerAtTheDeadline)
{
    ::kill(static_cast<pid_t>(Own(true, "00:00:07").processId()), SIGSTOP);

    const Answers answers = ReadAll();

    ASSERT_EQ(answers.texts.size(), 1u);
    EXPECT_EQ(answers.texts[0].outcome, Outcome::NoAnswer);
    EXPECT_GE(answers.ms, SelectionReading::AnswerMs - 10);
    EXPECT_LT(answers.ms, SelectionReading::AnswerMs + 50);
    RecordProperty("ms", static_cast<int>(answers.ms));
}

TEST_F(DataControlSelectionTest, ReaderGoneBeforeTheAnswerNeverAnswers)
{
    ::kill(static_cast<pid_t>(Own(true, "00:00:07").processId()), SIGSTOP);
    Answers answers;

    m_reader->Read(Limit, answers.Take());
    m_reader.reset();
    WaitUntil([] { return false; }, Settled);

    EXPECT_TRUE(answers.texts.empty());
}

TEST_F(DataControlSelectionTest, OpeningNeedsAWaylandDisplay)
{
    const QByteArray display = qgetenv("WAYLAND_DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");

    const bool opened = DataControlSelection::Open() != nullptr;

    qputenv("WAYLAND_DISPLAY", display);
    EXPECT_FALSE(opened);
}

TEST_F(DataControlSelectionTest, OpeningGivesUpOnACompositorThatNeverAnswers)
{
    QTemporaryDir directory;
    const QByteArray path = directory.filePath(QStringLiteral("wayland-stuck")).toLocal8Bit();
    const int listening = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listening, 1), 0);
    const QByteArray display = qgetenv("WAYLAND_DISPLAY");
    qputenv("WAYLAND_DISPLAY", path);
    QElapsedTimer clock;
    clock.start();

    const bool opened = DataControlSelection::Open() != nullptr;
    const qint64 ms = clock.elapsed();

    qputenv("WAYLAND_DISPLAY", display);
    close(listening);
    EXPECT_FALSE(opened);
    EXPECT_GE(ms, DataControlSelection::ConnectMs - 10);
    EXPECT_LT(ms, DataControlSelection::ConnectMs + 500);
    RecordProperty("ms", static_cast<int>(ms));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
