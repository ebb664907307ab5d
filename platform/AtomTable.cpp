#include "AtomTable.h"

#include "LastError.h"

namespace platform {

namespace {
constexpr std::size_t Capacity = 0x10000 - AtomTable::First;
}

ATOM AtomTable::Add(const QByteArray& name)
{
    if (name.isEmpty() || name.size() > MaxNameBytes) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const QByteArray key = name.toLower();
    if (const auto found = m_index.constFind(key); found != m_index.cend()) {
        ++m_slots[*found - First].references;
        return *found;
    }

    std::size_t slot = 0;
    while (slot < m_slots.size() && m_slots[slot].references > 0)
        ++slot;
    if (slot == Capacity) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (slot == m_slots.size())
        m_slots.emplace_back();
    m_slots[slot] = Slot{name, 1};
    const auto atom = static_cast<ATOM>(First + slot);
    m_index.insert(key, atom);
    return atom;
}

ATOM AtomTable::Delete(ATOM atom)
{
    // Integer atoms below First are never stored; deleting one succeeds without effect.
    if (atom != 0 && atom < First)
        return 0;
    const std::size_t slot = atom - First;
    if (atom == 0 || slot >= m_slots.size() || m_slots[slot].references == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return atom;
    }
    Slot& entry = m_slots[slot];
    if (--entry.references == 0) {
        m_index.remove(entry.name.toLower());
        entry.name.clear();
    }
    return 0;
}

QByteArray AtomTable::Name(ATOM atom) const
{
    const std::size_t slot = atom - First;
    if (atom < First || slot >= m_slots.size())
        return {};
    return m_slots[slot].name;
}

} // namespace platform
