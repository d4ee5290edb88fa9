#include <gtest/gtest.h>

#include "edit/TimeCode.h"
#include "edit/TypedTime.h"

namespace pelcato {
namespace {

TEST(TypedTime, ReadsWhatPeopleType) {
  const std::pair<const char*, int64_t> accepted[] = {
      {"90500", 90'500},
      {"500ms", 500},
      {"90s", 90'000},
      {"90.5s", 90'500},
      {"1:30", 90'000},
      {"1:02:03.5", 3'723'500},
      {"00:01:00.000", 60'000},
      {"000:01:00", 60'000},
      {"000:00:00.000", 0},
      {"90:00", 5'400'000},
      {"1000:00:00.000", 3'600'000'000},
      {" 1:30 ", 90'000},
      {"0:00:01.0004", 1'000},
      {"0:00:01.0005", 1'001},
      {"59.9996s", 60'000},
      {"9223372036854775807", INT64_MAX},
  };
  for (const auto& [text, ms] : accepted) {
    EXPECT_EQ(ParseTypedTime(text), std::optional<int64_t>(ms)) << text;
  }
  // Every time code the window shows reads back as its count.
  for (int64_t ms = 0; ms <= 3'599'999'999; ms += 999'983) {
    ASSERT_EQ(ParseTypedTime(FormatTimeCode(ms)), std::optional<int64_t>(ms)) << ms;
  }
}

TEST(TypedTime, RefusesAnythingElse) {
  for (const char* text : {"",
                           " ",
                           "-5",
                           "+5",
                           "1:60",
                           "1:5:60",
                           "1:2:3:4",
                           "1::30",
                           ":30",
                           "1:",
                           "1:300",
                           "1.5",
                           "1.5ms",
                           "1:30s",
                           "90 s",
                           "1 30",
                           "1:30.",
                           ".5s",
                           "1e3",
                           "12x",
                           "0x10",
                           "9223372036854775808",
                           "2562047788015216:00:00",
                           "1:30\n"}) {
    EXPECT_FALSE(ParseTypedTime(text)) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace pelcato
