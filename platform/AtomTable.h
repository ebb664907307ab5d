#pragma once

#include "Messages.h"

#include <QByteArray>
#include <QHash>

#include <cstddef>
#include <vector>

namespace platform {

// A table of string atoms 0xC000 to 0xFFFF: names of 1 to 255 bytes, compared without regard
// to letter case, reference counted. Failures set the thread's last error.
class AtomTable {
public:
    static constexpr ATOM First = 0xC000;
    static constexpr int MaxNameBytes = 255;

    // The atom of name, created or with its count raised; 0 on failure.
    ATOM Add(const QByteArray& name);
    // Lowers the atom's count and frees it at 0. Returns 0 on success, atom on failure.
    ATOM Delete(ATOM atom);

    // The name stored for atom; empty when the atom is not in use.
    QByteArray Name(ATOM atom) const;
    std::size_t Count() const { return m_index.size(); }

private:
    struct Slot {
        QByteArray name;
        int references = 0;
    };
    std::vector<Slot> m_slots; // slot i holds atom First + i; free while references is 0
    QHash<QByteArray, ATOM> m_index;
};

} // namespace platform
