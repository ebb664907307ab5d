#pragma once

#include <QString>

#include <cstdint>

namespace hotkeys {

// One registered hot key. The entry owns one global atom (whose value is lId) and one hot-key
// registration with the platform under that id.
struct tHotKeyEntry {
    QString sName;
    QString sAtomName;
    std::int32_t lId = 0;
    std::int32_t eKey = 0;
    std::int32_t eModifiers = 0;
};

} // namespace hotkeys
