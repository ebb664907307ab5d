#include "FakeServices.h"
#include "Promise.h"

#include "hotkeys/cRegHotKey.h"
#include "platform/Error.h"
#include "platform/Messages.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>

using hotkeys::cRegHotKey;
using testing_support::FakeServices;

namespace {

// The input a byte at a time; zeros once it is used up.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool More() const { return m_pos < m_size; }
    std::uint8_t Next() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    std::uint32_t Word()
    {
        std::uint32_t word = 0;
        for (int i = 0; i < 4; ++i)
            word = word << 8 | Next();
        return word;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// ASCII, a Latin-1 letter (whose case the atom table does not fold) or any UTF-16 unit, lone
// surrogates included.
QChar Character(Bytes& in)
{
    const std::uint8_t first = in.Next();
    if (first < 0x80)
        return QChar(first);
    if (first < 0xC0)
        return QChar(static_cast<char16_t>(0xC0 + (first & 0x3F)));
    const auto high = static_cast<char16_t>(in.Next() << 8);
    return QChar(static_cast<char16_t>(high | in.Next()));
}

// Up to 255 characters from a repeated pattern of up to 8, so that names past the length limit
// and atom names near 255 bytes take few input bytes.
QString Text(Bytes& in)
{
    const int length = in.Next();
    QString pattern;
    for (int n = in.Next() % 8 + 1; n > 0; --n)
        pattern += Character(in);
    return pattern.repeated(length / pattern.size() + 1).left(length);
}

// A new name, or a registered one as it is or in another letter case.
QString Name(Bytes& in, const cRegHotKey& reg)
{
    const std::uint8_t how = in.Next() % 4;
    if (how == 0 || reg.Keys().empty())
        return Text(in);
    const QString& known = reg.Keys()[in.Next() % reg.Keys().size()].sName;
    return how == 1 ? known : how == 2 ? known.toUpper() : known.toLower();
}

// The registry's table and the platform agree: each key holds a hot key of its own under its id
// for the bound window and an atom of its own name; the platform holds nothing else.
void CheckAgreement(const cRegHotKey& reg, FakeServices& fake, const std::set<platform::ATOM>& foreign)
{
    std::set<std::int32_t> ids;
    std::set<QString> names;
    std::set<platform::ATOM> atoms = foreign;
    for (const hotkeys::tHotKeyEntry& key : reg.Keys()) {
        const auto held = fake.hotKeys.find(key.lId);
        Promise(held != fake.hotKeys.end()
                && held->second == FakeServices::HotKey{reg.AttachedWindow(),
                                                        static_cast<std::uint32_t>(key.eModifiers),
                                                        static_cast<std::uint32_t>(key.eKey)});
        Promise(key.sName.size() <= cRegHotKey::MaxNameLength && names.insert(key.sName).second);
        ids.insert(key.lId);
        const auto atom = static_cast<platform::ATOM>(key.lId);
        Promise(fake.Atoms().Name(atom).toLower() == key.sAtomName.toLocal8Bit().toLower());
        atoms.insert(atom);
    }
    Promise(ids.size() == reg.Keys().size() && fake.hotKeys.size() == ids.size());
    Promise(fake.Atoms().Count() == atoms.size());
}

constexpr platform::HWND Windows[] = {0, 4660, 4661};

} // namespace

// Each input is a sequence of operations on one registry; platform::Error is an answer, any
// other failure or a disagreement with the platform is a finding.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Bytes in(data, size);
    FakeServices fake;
    std::set<platform::ATOM> foreign; // atoms other programs hold
    std::optional<cRegHotKey> holder(std::in_place, fake);
    cRegHotKey& reg = *holder;
    int presses = 0;
    QString pressed;
    bool unregisterPressed = false;
    reg.HotKeyPress.connect([&](const QString& name, std::int32_t, std::int32_t) {
        ++presses;
        pressed = name;
        if (unregisterPressed)
            reg.UnregisterKey(name);
    });

    while (in.More()) {
        fake.log.clear();
        try {
            switch (in.Next() % 10) {
            case 0: {
                const QString name = Name(in, reg);
                const std::int32_t key = in.Next();
                reg.RegisterKey(name, key, in.Next());
                break;
            }
            case 1:
                reg.UnregisterKey(Name(in, reg));
                break;
            case 2: {
                const platform::HWND window = Windows[in.Next() % 3];
                reg.Attach(window);
                Promise(reg.Keys().empty() && reg.AttachedWindow() == window);
                Promise(window == 0
                        || (fake.Hooks().IsHooked(reg, window, platform::WM_HOTKEY)
                            && fake.Hooks().IsHooked(reg, window, platform::WM_DESTROY)));
                break;
            }
            case 3:
                reg.Clear();
                Promise(reg.Keys().empty() && reg.AttachedWindow() == 0);
                break;
            case 4: {
                const std::uint8_t how = in.Next();
                const auto& keys = reg.Keys();
                // A key's id, or a small one: the snapshot ids -2 and -1 are among them.
                const std::int32_t id = (how & 1) != 0 && !keys.empty()
                                            ? keys[in.Next() % keys.size()].lId
                                            : static_cast<std::int8_t>(in.Next());
                const bool snapshot = id == platform::IDHOT_SNAPDESKTOP || id == platform::IDHOT_SNAPWINDOW;
                QString expected;
                for (const hotkeys::tHotKeyEntry& key : keys)
                    if (key.lId == id && !snapshot)
                        expected = key.sName;
                unregisterPressed = (how & 2) != 0;
                presses = 0;
                reg.WindowProc(reg.AttachedWindow(), platform::WM_HOTKEY, id,
                               static_cast<std::int32_t>(in.Word()));
                Promise(presses == 1 && (expected.isNull() || pressed == expected));
                break;
            }
            case 5:
                fake.Deliver(reg.AttachedWindow(), platform::WM_DESTROY, 0, 0);
                break;
            case 6:
                fake.tickCount = in.Word();
                break;
            case 7:
                fake.exeBaseName = Text(in);
                break;
            case 8: {
                const std::uint8_t failures = in.Next();
                fake.refuseAtomWith = (failures & 1) != 0 ? std::optional(8u) : std::nullopt;
                fake.refuseRegistrationWith = (failures & 2) != 0 ? std::optional(1409u) : std::nullopt;
                const std::int32_t message = (failures & 4) != 0 ? platform::WM_HOTKEY : platform::WM_DESTROY;
                fake.hookThrowsFor = (failures & 8) != 0 ? message : 0;
                fake.unhookThrowsFor = (failures & 16) != 0 ? message : 0;
                break;
            }
            default:
                if (const platform::ATOM atom = fake.Atoms().Add(Text(in).toLocal8Bit()))
                    foreign.insert(atom);
                break;
            }
        } catch (const platform::Error&) {
        }
        CheckAgreement(reg, fake, foreign);
    }

    holder.reset();
    Promise(fake.hotKeys.empty() && fake.Atoms().Count() == foreign.size());
    return 0;
}
