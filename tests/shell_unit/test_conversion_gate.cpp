// The gate that keeps conversions one after another, and the close that waits for a run to end.
#include "shell/conversion_gate.h"

#include <gtest/gtest.h>

namespace resivex::shell {
namespace {

TEST(ConversionGate, ASecondConversionIsHeldOffUntilTheFirstEnds) {
  conversion_gate gate;
  EXPECT_FALSE(gate.busy());
  ASSERT_TRUE(gate.try_begin());
  EXPECT_TRUE(gate.busy());
  EXPECT_FALSE(gate.try_begin());
  EXPECT_TRUE(gate.busy());
  EXPECT_FALSE(gate.end());
  EXPECT_FALSE(gate.busy());
  EXPECT_TRUE(gate.try_begin());
}

TEST(ConversionGate, ACloseAskedForDuringARunIsCarriedOutOnceAtItsEnd) {
  conversion_gate gate;
  ASSERT_TRUE(gate.try_begin());
  gate.defer_close();
  gate.defer_close();
  EXPECT_TRUE(gate.end());
  ASSERT_TRUE(gate.try_begin());
  EXPECT_FALSE(gate.end());
}

}  // namespace
}  // namespace resivex::shell
