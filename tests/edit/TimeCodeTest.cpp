#include <gtest/gtest.h>

#include "edit/TimeCode.h"

namespace pelcato {
namespace {

TEST(TimeCode, FormatPadsEveryFieldAndNeverCutsHours) {
  EXPECT_EQ(FormatTimeCode(0), "000:00:00.000");
  EXPECT_EQ(FormatTimeCode(59'999), "000:00:59.999");
  EXPECT_EQ(FormatTimeCode(3'723'004), "001:02:03.004");
  EXPECT_EQ(FormatTimeCode(3'599'999'999), "999:59:59.999");
  EXPECT_EQ(FormatTimeCode(3'600'000'000), "1000:00:00.000");
  EXPECT_EQ(FormatTimeCode(-1'500), "-000:00:01.500");
}

TEST(TimeCode, ParseGivesBackEveryFormattedCount) {
  // A sampled walk over the whole range, with both ends and the step's neighbours.
  for (int64_t ms = 0; ms <= 3'599'999'999; ms += 999'983) {
    ASSERT_EQ(ParseTimeCode(FormatTimeCode(ms)), ms) << ms;
  }
  for (int64_t ms : {int64_t(0), int64_t(1), int64_t(999), int64_t(59'999), int64_t(3'599'999),
                     int64_t(2'147'483'648), int64_t(3'599'999'999)}) {
    EXPECT_EQ(ParseTimeCode(FormatTimeCode(ms)), ms) << ms;
  }
  EXPECT_EQ(ParseTimeCode("999:59:59.999"), 3'599'999'999);
}

TEST(TimeCode, ParseReadsFieldsAtFaceValueAndBadFieldsAsZero) {
  EXPECT_EQ(ParseTimeCode(""), 0);
  EXPECT_EQ(ParseTimeCode("000:00:99.000"), 99'000);
  EXPECT_EQ(ParseTimeCode("001:02:xy.004"), 3'720'004);
  EXPECT_EQ(ParseTimeCode("0a1:02:03.004"), 123'004);
  EXPECT_EQ(ParseTimeCode("001:02"), 3'720'000);
  EXPECT_EQ(ParseTimeCode("001: 2:03.004"), 3'723'004);
}

TEST(TimeCode, NormalizeCapsOnlyTheTensDigitsAndFillsBlanks) {
  EXPECT_EQ(NormalizeTimeCode("12 :  :  .   "), "120:00:00.000");
  EXPECT_EQ(NormalizeTimeCode("000:99:99.999"), "000:59:59.999");
  EXPECT_EQ(NormalizeTimeCode("000:60:60.000"), "000:50:50.000");
  EXPECT_EQ(NormalizeTimeCode("999:75:09.999"), "999:55:09.999");
  EXPECT_EQ(NormalizeTimeCode("000:0"), "000:0");
  EXPECT_EQ(NormalizeTimeCode("000:00:00.0001"), "000:00:00.000");
}

TEST(TimeCode, ParseDecimalTakesOnlyWholeNumbers) {
  int64_t v = 42;
  EXPECT_TRUE(ParseDecimal(" -7", v));
  EXPECT_EQ(v, -7);
  EXPECT_TRUE(ParseDecimal("+9223372036854775807", v));
  EXPECT_EQ(v, INT64_MAX);
  v = 42;
  for (const char* bad : {"", " ", "-", "7 ", "1e3", "0x10", "9223372036854775808"}) {
    EXPECT_FALSE(ParseDecimal(bad, v)) << bad;
  }
  EXPECT_EQ(v, 42);
}

}  // namespace
}  // namespace pelcato
