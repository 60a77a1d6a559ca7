#include "platform.h"
#include <gtest/gtest.h>
TEST(PlatformTest, Placeholder) { EXPECT_TRUE(platform::isWellFormedUTF8("abc")); }
