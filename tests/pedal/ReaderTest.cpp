// Decoding, reading and the pedals' commands, with reports fed through a socket pair.

#include "Wire.h"

#include "../WaitUntil.h"

#include "pedal/Models.h"
#include "pedal/PedalCommands.h"
#include "pedal/PedalReader.h"
#include "pedal/PedalService.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace pedal;
using testing_support::OpenDescriptors;
using testing_support::WaitUntil;
using testing_support::Wire;

struct Decoding {
    std::uint16_t vendor;
    std::uint16_t product;
    std::vector<std::uint8_t> report;
    std::optional<Pedals> held;
};

const Decoding Reports[] = {
    {0x05f3, 0x00ff, {0x00, 0x00}, Pedals{0}},
    {0x05f3, 0x00ff, {0x02, 0x00}, Pedals{Middle}},
    {0x05f3, 0x00ff, {0x05, 0x00}, Pedals{Left | Right}},
    {0x05f3, 0x00ff, {0x08, 0x00}, std::nullopt},       // no such pedal
    {0x05f3, 0x00ff, {0x01}, std::nullopt},             // too short
    {0x05f3, 0x00ff, {0x01, 0x00, 0x00}, std::nullopt}, // too long
    {0x0911, 0x1844, {0x04, 0x00, 0x00}, Pedals{Right}},
    {0x0911, 0x091a, {0x0b, 0x00, 0x00}, Pedals{Left | Middle | Top}},
    {0x0911, 0x091a, {0x10, 0x00, 0x00}, std::nullopt},
    {0x0911, 0x091a, {0x02, 0x00}, std::nullopt},
};

TEST(PedalDecoders, TakeEachModelsReportsAndRefuseAnythingElse)
{
    for (const Decoding& row : Reports) {
        const Model* model = FindModel(row.vendor, row.product);
        ASSERT_NE(model, nullptr) << std::hex << row.vendor << ":" << row.product;
        EXPECT_EQ(model->decode(row.report), row.held)
            << model->name << ", report of " << row.report.size() << " bytes starting " << int(row.report[0]);
    }
    EXPECT_EQ(FindModel(0x05f3, 0x00fe), nullptr);
}

// The reader on a wire, recording what it raises as "+2", "-1", "end".
class Reading : public ::testing::Test {
protected:
    void SetUp() override
    {
        descriptorsBefore = OpenDescriptors();
        reader = std::make_unique<PedalReader>(wire.device, FindModel(0x05f3, 0x00ff)->decode);
        reader->Pressed.connect([this](Pedal p) { seen << QStringLiteral("+%1").arg(int(p)); });
        reader->Released.connect([this](Pedal p) { seen << QStringLiteral("-%1").arg(int(p)); });
        reader->Ended.connect([this] { seen << QStringLiteral("end"); });
    }
    bool Sees(const QStringList& expected)
    {
        return WaitUntil([&] { return seen.size() >= expected.size(); }) && seen == expected;
    }

    int descriptorsBefore = 0;
    Wire wire;
    std::unique_ptr<PedalReader> reader;
    QStringList seen;
};

TEST_F(Reading, HandlesPedalsInTheOrderTheirBitsChanged)
{
    EXPECT_TRUE(wire.send({Right, 0}));
    EXPECT_TRUE(wire.send({Left | Middle | Right, 0}));
    EXPECT_TRUE(wire.send({Middle, 0}));
    EXPECT_TRUE(Sees({"+4", "+1", "+2", "-1", "-4"})) << seen.join(u' ').toStdString();
    EXPECT_EQ(reader->held(), Middle);
}

TEST_F(Reading, IgnoresBadReportsAndReleasesEverythingAtTheEndOfTheStream)
{
    EXPECT_TRUE(wire.send({Middle | Left, 0}));
    EXPECT_TRUE(wire.send({0xff, 0x00}));
    EXPECT_TRUE(wire.send({0x00}));
    EXPECT_TRUE(wire.send({0x00, 0x00, 0x00, 0x00}));
    EXPECT_TRUE(wire.send({0x40, 0x13}));
    wire.unplug();
    EXPECT_TRUE(Sees({"+1", "+2", "-1", "-2", "end"})) << seen.join(u' ').toStdString();
    EXPECT_EQ(reader->held(), 0);
    EXPECT_FALSE(reader->reading());
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore - 2) << "the reader's end stays open";
}

TEST_F(Reading, EndedByAHandlerCountsNothingAsHeldAfterwards)
{
    reader->Pressed.connect([this](Pedal p) {
        if (p == Left)
            reader->end();
    });
    EXPECT_TRUE(wire.send({Left | Middle | Right, 0}));
    EXPECT_TRUE(Sees({"+1", "-1", "end"})) << seen.join(u' ').toStdString();
    EXPECT_EQ(reader->held(), 0);
}

TEST(PedalService, AHundredPlugCyclesLeakNoDescriptorAndLeaveNothingHeld)
{
    PedalService service;
    int held = 0;
    service.Pressed.connect([&](Pedal) { ++held; });
    service.Released.connect([&](Pedal) { --held; });
    const int before = OpenDescriptors();
    for (int cycle = 0; cycle < 100; ++cycle) {
        Wire wire;
        service.read(wire.device, *FindModel(0x0911, 0x091a));
        EXPECT_TRUE(wire.send({Left | Middle | Right | 8, 0, 0}));
        ASSERT_TRUE(WaitUntil([&] { return held == 4; })) << "cycle " << cycle;
        wire.unplug();
        ASSERT_TRUE(WaitUntil([&] { return service.connected().isEmpty(); })) << "cycle " << cycle;
        EXPECT_EQ(held, 0) << "cycle " << cycle;
    }
    WaitUntil([] { return false; }, std::chrono::milliseconds(20));
    EXPECT_EQ(OpenDescriptors(), before) << "descriptors leak with each plug cycle";
}

// The commands, each written down by name.
class Commanding : public ::testing::Test {
protected:
    QStringList log;
    PedalCommands commands{{[this] { log << QStringLiteral("play"); }, [this] { log << QStringLiteral("pause"); },
                            [this] { log << QStringLiteral("back"); }, [this] { log << QStringLiteral("forward"); },
                            [this] { log << QStringLiteral("timestamp"); }}};
};

TEST_F(Commanding, MiddlePlaysWhileHeldOnAnyFootControlAndPausesWhenTheLastLetsGo)
{
    commands.press(Middle);
    commands.press(Middle); // a second foot control
    commands.release(Middle);
    EXPECT_EQ(log, QStringList({"play"}));
    commands.release(Middle);
    commands.release(Middle); // a release without a press counts for nothing
    commands.press(Right);
    commands.release(Right);
    EXPECT_EQ(log, QStringList({"play", "pause", "forward"}));
    EXPECT_EQ(commands.holds(Middle), 0);
}

TEST_F(Commanding, TheTopPedalInsertsOneTimestampAtItsPressHoweverLongItIsHeld)
{
    commands.press(Top);
    WaitUntil([] { return false; }, std::chrono::milliseconds(PedalCommands::RepeatMs * 2 + 100));
    commands.release(Top);
    EXPECT_EQ(log, QStringList({"timestamp"}));
}

} // namespace
