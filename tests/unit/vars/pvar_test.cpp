// The two marks of a variable record: dirty (repaint) and the write request (module).
#include "vars/pvar.hpp"

#include <gtest/gtest.h>

namespace {

VarRecord Remote(int32_t value) {
    return VarRecord{value, 0, 0, 0, 0, 0, nullptr};
}

TEST(VarAccess, SettingTheValueAlreadyHeldMarksNothing) {
    VarRecord v = Remote(7);
    var_set_write_data(&v, 7);
    EXPECT_EQ(v.dirty, 0);
    EXPECT_EQ(var_flag_is_write(&v), 0u) << "an unchanged value must not be sent to the module";
    var_set(&v, 7);
    EXPECT_EQ(var_is_dirty(&v), 0u);

    var_set_write_data(&v, 8);
    EXPECT_EQ(v.value, 8);
    EXPECT_EQ(var_is_dirty(&v), 1u);
    EXPECT_EQ(v.flags, VAR_FLAG_WRITE);
}

TEST(VarAccess, AModuleValueArrivingOverAPendingWriteKeepsTheWriteMark) {
    VarRecord v = Remote(0);
    var_set_write_data(&v, 1);
    var_set(&v, 0);  // the module's older view, read before the write went out
    EXPECT_EQ(v.value, 0);
    EXPECT_EQ(var_flag_is_write(&v), 1u);
    EXPECT_EQ(var_flag_is_write(&v), 0u) << "test and clear in one call";
    EXPECT_EQ(v.flags, 0);
}

TEST(VarAccess, WriteTestClearsOnlyTheWriteBitAndComparesTheWholeWord) {
    VarRecord v = {0x10000, 0, 0, 0, 0, VAR_FLAG_LOCAL, nullptr};
    var_set_write_data(&v, 0);  // differs only above the low 16 bits
    EXPECT_EQ(v.value, 0);
    EXPECT_EQ(v.flags, VAR_FLAG_LOCAL | VAR_FLAG_WRITE);
    EXPECT_EQ(var_flag_is_write(&v), 1u);
    EXPECT_EQ(v.flags, VAR_FLAG_LOCAL);
}

int g_painted = 0;
int32_t g_paintedValue = -1;
void Paint(VarRecord* v) {
    ++g_painted;
    g_paintedValue = var_get(v);
}

TEST(VarAccess, DisplayWithoutProcedureKeepsDirtyAndGetConsumesIt) {
    VarRecord v = Remote(0);
    var_set(&v, 42);
    var_display(&v);
    EXPECT_EQ(var_is_dirty(&v), 1u) << "no screen shows it: the change waits";

    v.display_proc = Paint;
    var_display(&v);
    EXPECT_EQ(g_painted, 1);
    EXPECT_EQ(g_paintedValue, 42);
    EXPECT_EQ(var_is_dirty(&v), 0u) << "the display procedure read it with var_get";

    var_set(&v, 43);
    (void)var_get(&v);
    EXPECT_EQ(var_is_dirty(&v), 0u) << "var_get clears dirty even when its value is ignored";
}

}  // namespace
