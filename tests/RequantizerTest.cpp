#include <gtest/gtest.h>

#include "layer3/Layer3Policy.h"
#include "layer3/Requantizer.h"

namespace qw {
namespace {

// Built once: the tables are large and constant.
const RequantizeTables<QualityPolicy>& quality = *new RequantizeTables<QualityPolicy>;
const RequantizeTables<PerformancePolicy>& performance = *new RequantizeTables<PerformancePolicy>;

// Correctly rounded: 8206^(4/3) = 165516.775412164279...
TEST(Requantizer, PowerTableIsExactAtItsTop) {
    EXPECT_EQ(quality.pow43[8206], 0x1.43466340b4af4p+17);
    EXPECT_EQ(performance.pow43[8191], 0x1.427ccp+17f);
}

}  // namespace
}  // namespace qw
