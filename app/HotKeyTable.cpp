#include "frm1.h"

#include "platform/Messages.h"

#include <algorithm>

namespace app {

std::span<const frm1::HotKeyRow> frm1::HotKeyTable()
{
    // F1 to F3 are what the program is for; the others are no reason not to start, since the
    // player's menu does what they do too.
    static constexpr HotKeyRow Table[] = {
        {"spielen", 114, 0, 0, "Label3", "Horchpult: play at the chosen speed", &frm1::PlayMedia, nullptr},
        {"stop", 113, 0, 0, "Label4", "Horchpult: pause (with auto rewind: and step back)", &frm1::PauseMedia, nullptr},
        {"zurueck", 112, 0, 0, "Label2", "Horchpult: back one second", &frm1::RewindMedia, nullptr},
        {"zeitmarke", 115, 0, platform::MOD_NOREPEAT, nullptr, "Horchpult: type the playback position as a timestamp",
         &frm1::InsertTimestamp,
         "Another program holds F4, so F4 does not insert timestamps here; the player's menu still does (\"Insert "
         "timestamp (F4)\")."},
        {"wiederholen", 112, platform::MOD_SHIFT, platform::MOD_NOREPEAT, nullptr,
         "Horchpult: repeat the last seconds heard (again: play on from the end of them)", &frm1::RepeatMedia,
         "Another program holds Shift+F1, so Shift+F1 does not repeat here; the player's menu still starts a "
         "repeat."},
        {"zeitsprung", 115, platform::MOD_SHIFT, platform::MOD_NOREPEAT, nullptr,
         "Horchpult: go to the timestamp selected in the editor", &frm1::GoToSelectedTimestamp,
         "Another program holds Shift+F4, so Shift+F4 does not go to timestamps here; the player's menu still "
         "does (\"Go to selected timestamp (Shift+F4)\")."},
    };
    return Table;
}

const frm1::HotKeyRow* frm1::FindHotKey(const std::function<bool(const HotKeyRow&)>& matches)
{
    const auto table = HotKeyTable();
    const auto row = std::find_if(table.begin(), table.end(), matches);
    return row == table.end() ? nullptr : &*row;
}

} // namespace app
