#include "platform/AtomTable.h"
#include "platform/LastError.h"

#include <gtest/gtest.h>

using platform::AtomTable;
using platform::ATOM;

namespace {

TEST(AtomTable, NamesDifferingInCaseShareOneCountedAtom)
{
    AtomTable table;
    const ATOM atom = table.Add("Stop_player_917");
    ASSERT_EQ(atom, AtomTable::First) << "first atom not at 0xC000";
    EXPECT_EQ(table.Add("STOP_PLAYER_917"), atom) << "same name in other case got a new atom";
    EXPECT_EQ(table.Name(atom), QByteArray("Stop_player_917")) << "first spelling not kept";

    EXPECT_EQ(table.Delete(atom), 0) << "first delete of a twice-added atom failed";
    EXPECT_EQ(table.Add("stop_player_917"), atom) << "atom freed while still referenced";
    EXPECT_EQ(table.Delete(atom), 0) << "delete failed";
    EXPECT_EQ(table.Delete(atom), 0) << "delete of the last reference failed";
    EXPECT_EQ(table.Count(), 0u) << "atom not freed at count 0";
    EXPECT_TRUE(table.Name(atom).isEmpty()) << "freed atom still has a name";
}

TEST(AtomTable, RefusesEmptyAndOverlongNames)
{
    const struct {
        int bytes;
        bool accepted;
    } cases[] = {{0, false}, {1, true}, {255, true}, {256, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes);
        AtomTable table;
        platform::SetLastError(0);
        const ATOM atom = table.Add(QByteArray(c.bytes, 'a'));
        EXPECT_EQ(atom != 0, c.accepted) << "wrong acceptance";
        EXPECT_EQ(platform::LastError(), c.accepted ? 0u : platform::ERROR_INVALID_PARAMETER)
            << "wrong last error";
    }
}

TEST(AtomTable, DeletingAnAtomNotInUseFails)
{
    AtomTable table;
    const ATOM used = table.Add("used");
    table.Delete(used);
    for (const ATOM atom : {ATOM{0}, used, ATOM{0xC001}, ATOM{0xFFFF}}) {
        SCOPED_TRACE(atom);
        platform::SetLastError(0);
        EXPECT_EQ(table.Delete(atom), atom) << "delete of an atom not in use reported success";
        EXPECT_EQ(platform::LastError(), platform::ERROR_INVALID_HANDLE) << "wrong last error";
    }
}

TEST(AtomTable, FreedSlotsAreReused)
{
    AtomTable table;
    const ATOM a = table.Add("a");
    const ATOM b = table.Add("b");
    const ATOM c = table.Add("c");
    table.Delete(b);
    const ATOM d = table.Add("d");
    EXPECT_EQ(d, b) << "freed slot not reused";
    EXPECT_EQ(table.Add("D"), d) << "reused slot not found under its new name";
    EXPECT_NE(table.Add("b"), d) << "old name still leads to the reused slot";
    EXPECT_TRUE(table.Name(a) == "a" && table.Name(c) == "c") << "neighbours of the reused slot changed";
}

TEST(AtomTable, HoldsAt16384Atoms)
{
    AtomTable table;
    ATOM last = 0;
    for (int i = 0; i < 16384; ++i)
        ASSERT_NE(last = table.Add("atom" + QByteArray::number(i)), 0)
            << "table full after " << i << " atoms";
    EXPECT_EQ(last, 0xFFFF) << "atoms not numbered 0xC000 to 0xFFFF";

    platform::SetLastError(0);
    EXPECT_EQ(table.Add("one more"), 0) << "atom added beyond 0xFFFF";
    EXPECT_EQ(platform::LastError(), platform::ERROR_NOT_ENOUGH_MEMORY) << "wrong last error when full";
    EXPECT_EQ(table.Add("ATOM5"), 0xC005) << "existing name refused when full";

    table.Delete(0xC007);
    EXPECT_EQ(table.Add("one more"), 0xC007) << "freed slot of a full table not reused";
}

} // namespace
