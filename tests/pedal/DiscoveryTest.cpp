// Discovery and hot-plug through the real libudev, on a sysfs and /dev tree of umockdev's whose
// root this test sets (the test runs under umockdev-wrapper). The emulated device nodes carry
// reports written to them by the test.

// GLib's headers come before Qt's, whose signals keyword clashes with their field names.
#include <umockdev.h>

#include "Wire.h"

#include "../WaitUntil.h"

#include "../window/FakeDesktop.h"

#include "app/frm1.h"
#include "pedal/PedalService.h"
#include "player/FakePlayer.h"

#include <QLabel>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

using namespace pedal;
using testing_support::WaitUntil;

struct Device {
    QString hid;    // its HID parent's sys path
    QString hidraw; // its own
    QString node;   // /dev/hidrawN
};

class Discovery : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(qgetenv("LD_PRELOAD").contains("umockdev")) << "run under umockdev-wrapper";
        testbed = umockdev_testbed_new();
        service.Pressed.connect([this](Pedal p) { pressed.push_back(p); });
    }
    void TearDown() override
    {
        if (testbed != nullptr)
            g_object_unref(testbed);
    }

    // A USB HID device with a hidraw node; readable: whether the node exists.
    Device Plug(int number, std::uint16_t vendor, std::uint16_t product, bool readable = true)
    {
        const QString id = QStringLiteral("%1:%2").arg(vendor, 4, 16, QLatin1Char('0')).arg(product, 4, 16, QLatin1Char('0')).toUpper();
        const QString hid = QStringLiteral("/sys/devices/usb1/1-%1/0003:%2.%3").arg(number).arg(id).arg(number, 4, 10, QLatin1Char('0'));
        const QString hidId = QStringLiteral("0003:0000%1:0000%2").arg(vendor, 4, 16, QLatin1Char('0')).arg(product, 4, 16, QLatin1Char('0')).toUpper();
        Device device{hid, hid + QStringLiteral("/hidraw/hidraw%1").arg(number), QStringLiteral("/dev/hidraw%1").arg(number)};
        const QString description = QStringLiteral("P: %1\nE: SUBSYSTEM=hid\nE: HID_ID=%2\n\n"
                                                   "P: %3\n%4E: DEVNAME=%5\nE: SUBSYSTEM=hidraw\nA: dev=241:%6\n")
                                        .arg(hid.mid(4), hidId, device.hidraw.mid(4),
                                             readable ? QStringLiteral("N: hidraw%1\n").arg(number) : QString(),
                                             device.node)
                                        .arg(number);
        GError* error = nullptr;
        EXPECT_TRUE(umockdev_testbed_add_from_string(testbed, description.toUtf8().constData(), &error))
            << (error != nullptr ? error->message : "");
        return device;
    }
    void Announce(const Device& device, const char* action)
    {
        umockdev_testbed_uevent(testbed, device.hidraw.toUtf8().constData(), action);
    }
    void Unplug(const Device& device)
    {
        Announce(device, "remove");
        umockdev_testbed_remove_device(testbed, device.hidraw.toUtf8().constData());
        umockdev_testbed_remove_device(testbed, device.hid.toUtf8().constData());
    }
    void Report(const Device& device, std::initializer_list<std::uint8_t> report)
    {
        const int fd = umockdev_testbed_get_dev_fd(testbed, device.node.toUtf8().constData());
        ASSERT_GE(fd, 0) << "no emulated " << device.node.toStdString();
        const std::vector<std::uint8_t> bytes(report);
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    UMockdevTestbed* testbed = nullptr;
    PedalService service;
    std::vector<Pedal> pressed;
};

TEST_F(Discovery, FindsTheKnownPedalsAtStartAndReadsThem)
{
    const Device pedal = Plug(0, 0x05f3, 0x00ff);
    Plug(1, 0x046d, 0xc52b); // a keyboard's receiver
    service.start();
    EXPECT_EQ(service.connected(), QStringList({"VEC Infinity IN-USB-1/-2/-3"}));
    Report(pedal, {Middle, 0});
    EXPECT_TRUE(WaitUntil([&] { return !pressed.empty(); })) << "the report written to the node never came";
    EXPECT_EQ(pressed, std::vector<Pedal>({Middle}));
}

// umockdev keeps an emulated node for good once made, so each cycle plugs in at a new number.
TEST_F(Discovery, AHundredPlugCyclesLeaveNothingHeld)
{
    service.start();
    int released = 0;
    service.Released.connect([&](Pedal) { ++released; });
    for (int cycle = 0; cycle < 100; ++cycle) {
        const Device pedal = Plug(10 + cycle, 0x05f3, 0x00ff);
        Announce(pedal, "add");
        ASSERT_TRUE(WaitUntil([&] { return service.connected().size() == 1; })) << "cycle " << cycle;
        Report(pedal, {Left | Right, 0});
        ASSERT_TRUE(WaitUntil([&] { return pressed.size() == 2 * static_cast<std::size_t>(cycle + 1); }))
            << "cycle " << cycle;
        Unplug(pedal);
        ASSERT_TRUE(WaitUntil([&] { return service.connected().isEmpty(); })) << "cycle " << cycle;
    }
    EXPECT_EQ(released, 200) << "pedals held when their foot control was pulled out stay held";
}

TEST_F(Discovery, APedalThatCannotBeOpenedIsNamedOnceInTheWindowWithWhatToDo)
{
    testing_support::FakeDesktop desktop;
    QStringList fatal;
    platform::LastResort lastResort([&](const QString& text) { fatal << text; });
    auto fake = std::make_unique<player::FakePlayer>();
    player::FakePlayer& player = *fake;
    app::frm1 window(desktop, lastResort, std::move(fake));
    window.Form_Load();
    window.AttachPedals(service);
    const auto notice = [&] {
        const auto* line = window.findChild<QLabel*>(QStringLiteral("notice"));
        return line != nullptr && line->isVisibleTo(&window) ? line->text() : QString();
    };

    const Device locked = Plug(2, 0x0911, 0x1844, false);
    service.start();
    EXPECT_EQ(notice().count(QStringLiteral("Philips ACC2310/ACC2320")), 1) << notice().toStdString();
    EXPECT_TRUE(notice().contains(QStringLiteral("70-horchpult-pedals.rules"))) << notice().toStdString();
    EXPECT_TRUE(player.pedal.isEmpty()) << "a pedal that cannot be read is shown as plugged in";

    Announce(locked, "change"); // rules applied anew, the node still missing
    const Device readable = Plug(5, 0x05f3, 0x00ff);
    Announce(readable, "add");
    EXPECT_TRUE(WaitUntil([&] { return player.pedal == QStringLiteral("VEC Infinity IN-USB-1/-2/-3"); }))
        << player.pedal.toStdString();
    EXPECT_EQ(notice().count(QStringLiteral("Philips")), 1) << notice().toStdString();
    Unplug(locked);
    EXPECT_TRUE(WaitUntil([&] { return notice().isEmpty(); })) << notice().toStdString();
    EXPECT_TRUE(desktop.messages.isEmpty()) << "a box was shown: " << desktop.messages.join(u'|').toStdString();
    EXPECT_TRUE(fatal.isEmpty()) << fatal.join(u'\n').toStdString();
}

} // namespace
