#include <gtest/gtest.h>
TEST(Gui, Starts) { SUCCEED(); }
