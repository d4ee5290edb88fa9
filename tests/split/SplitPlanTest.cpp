#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "split/SplitPlan.h"

namespace pelcato {
namespace {

namespace fs = std::filesystem;

using Ranges = std::vector<int64_t>;
constexpr TSplitType kParts = TSplitType::IntoParts;
constexpr TSplitType kDuration = TSplitType::ByDuration;

int Build(const TSplitRequest& r, Ranges& starts, Ranges& ends) {
  return BuildSplitRanges(r, starts, ends);
}

TEST(SplitPlan, IntoPartsGivesTheRemainderToTheLastPiece) {
  Ranges s, e;
  EXPECT_EQ(Build({kParts, 3, 0, 0, 0, 10'000}, s, e), 3);
  EXPECT_EQ(s, (Ranges{0, 3'333, 6'666}));
  EXPECT_EQ(e, (Ranges{3'333, 6'666, 10'000}));
  EXPECT_EQ(Build({kParts, 200, 0, 0, 0, 3'599'999'999}, s, e), 200);
  EXPECT_EQ(e.back(), 3'599'999'999);
}

TEST(SplitPlan, ByDurationEndsWithWhatIsLeft) {
  Ranges s, e;
  EXPECT_EQ(Build({kDuration, 0, 0, 1, 0, 150'000}, s, e), 3);
  EXPECT_EQ(s, (Ranges{0, 60'000, 120'000}));
  EXPECT_EQ(e, (Ranges{60'000, 120'000, 150'000}));
  // An exact multiple makes no empty extra piece; a single spare millisecond makes one.
  EXPECT_EQ(Build({kDuration, 0, 0, 1, 0, 180'000}, s, e), 3);
  EXPECT_EQ(e.back(), 180'000);
  EXPECT_EQ(Build({kDuration, 0, 0, 1, 0, 180'001}, s, e), 4);
  EXPECT_EQ(s.back(), 180'000);
  EXPECT_EQ(Build({kDuration, 0, 1, 0, 0, 7'200'000}, s, e), 2);
}

TEST(SplitPlan, NonsenseGivesNoPieces) {
  Ranges s{1}, e{2};
  EXPECT_EQ(Build({kParts, 0, 0, 0, 0, 10'000}, s, e), 0);
  EXPECT_TRUE(s.empty() && e.empty());
  EXPECT_EQ(Build({kParts, -3, 0, 0, 0, 10'000}, s, e), 0);
  EXPECT_EQ(Build({kDuration, 2, 0, 0, 0, 10'000}, s, e), 0);
  EXPECT_EQ(Build({kDuration, 2, 0, 0, -5, 10'000}, s, e), 0);
  EXPECT_EQ(Build({kParts, 2, 0, 0, 0, 0}, s, e), 0);
}

TEST(SplitPlan, PieceNumbersHaveAtLeastFourDigits) {
  EXPECT_EQ(FormatPieceNumber(1), "0001");
  EXPECT_EQ(FormatPieceNumber(42), "0042");
  EXPECT_EQ(FormatPieceNumber(999), "0999");
  EXPECT_EQ(FormatPieceNumber(9999), "9999");
  EXPECT_EQ(FormatPieceNumber(10000), "10000");
}

class SplitNameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("pelcato-split-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Touch(const std::string& name) { std::ofstream(dir_ / name) << "x"; }
  static std::tm Day() {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 0;
    t.tm_mday = 20;
    return t;
  }
  std::string Name(const std::string& source, const std::string& folder) {
    return MakeSplitFileName(source, folder, Day);
  }
  fs::path dir_;
};

TEST_F(SplitNameTest, DatedNumberedNamesFillTheGapsFirst) {
  const std::string folder = dir_.string() + "/";
  EXPECT_EQ(Name("/music/song.MP3", folder), folder + "song-240120-0001.mp3");
  Touch("song-240120-0001.mp3");
  Touch("song-240120-0003.mp3");
  const std::string second = Name("/music/song.MP3", folder);
  EXPECT_EQ(second, folder + "song-240120-0002.mp3");
  Touch("song-240120-0002.mp3");
  EXPECT_EQ(Name("/music/song.MP3", folder), folder + "song-240120-0004.mp3");
  // Without a trailing slash the name still lies inside the folder; only the last
  // extension goes.
  EXPECT_EQ(Name("a.b.mp3", dir_.string()), folder + "a.b-240120-0001.mp3");
  EXPECT_EQ(Name("noext", ""), "noext-240120-0001.mp3");
}

TEST_F(SplitNameTest, ARunOfNamesMatchesSingleSearches) {
  const std::string folder = dir_.string() + "/";
  Touch("song-240120-0002.mp3");
  TSplitNamer names("song.mp3", dir_.string(), Day);
  EXPECT_EQ(names.Next(), folder + "song-240120-0001.mp3");
  EXPECT_EQ(names.Next(), folder + "song-240120-0001.mp3");  // that piece was not written
  Touch("song-240120-0001.mp3");
  EXPECT_EQ(names.Next(), folder + "song-240120-0003.mp3");
  Touch("song-240120-0003.mp3");
  EXPECT_EQ(names.Next(), Name("song.mp3", folder));
}

}  // namespace
}  // namespace pelcato
