#include <gtest/gtest.h>

extern "C" int zel_c_api_roundtrip(void);

TEST(CApi, UnitRoundTripFromC) { EXPECT_EQ(zel_c_api_roundtrip(), 0); }
