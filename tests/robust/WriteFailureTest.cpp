// Writes that cannot succeed: the destination folder removed after the analysis, a full disk,
// a destination that is a folder. Each fails cleanly: no partial file, the older file of that
// name and the source as they were, and the settings file whole.
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>

#include "Mp3TestUtil.h"
#include "settings/AppSettings.h"
#include "settings/ProfileFile.h"

namespace pelcato::test {
namespace {

// Writes pieces as the window and pelcato-cli split: analysed with the frame index, so that the
// pieces are written on two threads.
std::vector<bool> Split(TKorvaMP3& mp3, const std::vector<int64_t>& starts,
                        const std::function<std::string(size_t)>& name) {
  std::vector<int64_t> ends(starts.begin() + 1, starts.end());
  ends.push_back(starts.back() + 500);
  std::vector<bool> ok;
  mp3.SaveSegments(starts, ends, name, MakeTag("piece", 0, 255), true,
                   [&](size_t, const TSegmentResult& r) {
                     EXPECT_EQ(fs::is_regular_file(r.Path), r.Ok) << r.Path;
                     ok.push_back(r.Ok);
                   });
  return ok;
}

TEST(WriteFailure, TheDestinationFolderDisappears) {
  TempDir dir;
  const std::string src = dir.Put("src.mp3", ReadFile(DataFile("id3v2-apic.mp3")));
  const Bytes before = ReadFile(src);
  const std::string out = dir / "out";
  fs::create_directory(out);
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(src, false, true);
  fs::remove(out);
  int64_t bytes, ms;
  EXPECT_FALSE(mp3.SaveSegment(0, 1000, out + "/piece.mp3", MakeTag("t", 1, 1), bytes, ms));
  int tagSize, offset, size;
  ASSERT_TRUE(mp3.FindPictureFrame(src, tagSize, offset, size));
  EXPECT_FALSE(mp3.CopyWithoutFrame(src, out + "/copy.mp3", tagSize, offset, size));
  // Gone in the middle of a split: the pieces before are whole, the later ones fail.
  fs::create_directory(out);
  EXPECT_EQ(Split(mp3, {0, 500, 1000, 1500},
                  [&](size_t i) {
                    if (i == 2) fs::remove_all(out);
                    return out + "/piece" + std::to_string(i) + ".mp3";
                  }),
            (std::vector<bool>{true, true, false, false}));
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(ReadFile(src), before);
  EXPECT_EQ(dir.Entries(), 1u);

  // The program folder, and the settings file in it, removed while the program runs.
  TAppSettings settings;
  settings.ProgramFolder = dir / "prog/";
  fs::create_directory(settings.ProgramFolder);
  WriteFile(settings.ProgramFolder + "Pelcato.ini", {'[', 'S', 'P', 'L', 'I', 'T', ']', '\n'});
  LoadSettings(settings);
  fs::remove_all(settings.ProgramFolder);
  std::string shown;
  EXPECT_FALSE(SaveSettings(settings, [&](const std::string& m) { shown = m; }));
  EXPECT_EQ(shown, "Unable to write to " + dir / "prog/Pelcato.ini.");
  EXPECT_FALSE(fs::exists(settings.ProgramFolder));
}

// A small file system in memory that fills up. Mounting one needs root; elsewhere the write
// fault hooks of the mp3 and settings tests stand in for it.
class TSmallDisk {
 public:
  explicit TSmallDisk(const std::string& path) : FPath(path) {
    fs::create_directory(path);
    Mounted = geteuid() == 0 && mount("tmpfs", path.c_str(), "tmpfs", 0, "size=64k") == 0;
  }
  ~TSmallDisk() {
    if (Mounted) umount2(FPath.c_str(), MNT_DETACH);
  }
  // Fills what is left of the disk, but for keep bytes.
  void Fill(size_t keep) const {
    fs::remove(FPath + "/filler");
    const Bytes block(4096, 'f');
    FILE* f = std::fopen((FPath + "/filler").c_str(), "wb");
    setvbuf(f, nullptr, _IONBF, 0);
    while (std::fwrite(block.data(), 1, block.size(), f) == block.size()) {
    }
    std::fclose(f);
    const size_t size = fs::file_size(FPath + "/filler");
    fs::resize_file(FPath + "/filler", size > keep ? size - keep : 0);
  }
  bool Mounted = false;

 private:
  std::string FPath;
};

TEST(WriteFailure, AFullDisk) {
  TempDir dir;
  TSmallDisk disk(dir / "disk");
  if (!disk.Mounted) GTEST_SKIP() << "no small file system can be mounted here";
  const std::string src = dir.Put("src.mp3", ReadFile(DataFile("cbr128.mp3")));  // 41 KB
  const Bytes before = ReadFile(src);
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(src, false, true);
  const std::string dest = dir / "disk/dest.mp3";
  WriteFile(dest, {'o', 'l', 'd'});
  disk.Fill(32 * 1024);
  int64_t bytes, ms;
  EXPECT_FALSE(mp3.SaveSegment(0, 5000, dest, MakeTag("t", 1, 1), bytes, ms));
  EXPECT_EQ(ReadFile(dest), (Bytes{'o', 'l', 'd'}));
  // A short piece still fits; pieces of a split fail from where the disk is full.
  EXPECT_TRUE(mp3.SaveSegment(0, 300, dir / "disk/short.mp3", {}, bytes, ms));
  EXPECT_EQ(int64_t(fs::file_size(dir / "disk/short.mp3")), bytes);
  const std::vector<bool> ok = Split(mp3, {0, 500, 1000, 1500, 2000}, [&](size_t i) {
    return dir / ("disk/piece" + std::to_string(i) + ".mp3");
  });
  EXPECT_TRUE(ok.front());
  EXPECT_FALSE(ok.back());
  EXPECT_EQ(ReadFile(src), before);

  // The settings file on a full disk stays as it was, and no temporary file is left.
  for (const auto& entry : fs::directory_iterator(dir / "disk")) fs::remove(entry.path());
  const std::string old = "[SPLIT]\nType=0\nInto=9\n[Mine]\nx=" + std::string(3000, 'x') + "\n";
  WriteFile(dir / "disk/Pelcato.ini", Bytes(old.begin(), old.end()));
  disk.Fill(0);
  const size_t entries = size_t(std::distance(fs::directory_iterator(dir / "disk"), {}));
  TAppSettings settings;
  settings.ProgramFolder = dir / "disk/";
  LoadSettings(settings);
  settings.SplitInto = 5;
  settings.OutputFolder = std::string(8000, 'o');
  EXPECT_FALSE(SaveSettings(settings));
  const Bytes now = ReadFile(dir / "disk/Pelcato.ini");
  EXPECT_TRUE(std::string(now.begin(), now.end()) == old);
  EXPECT_EQ(size_t(std::distance(fs::directory_iterator(dir / "disk"), {})), entries);
}

TEST(WriteFailure, TheDestinationIsAFolder) {
  TempDir dir;
  const std::string src = DataFile("id3v2-apic.mp3");
  TKorvaMP3 mp3(nullptr);
  mp3.AnalyzeFile(src, false, true);
  fs::create_directories(dir / "folder/inside");
  int tagSize, offset, size;
  ASSERT_TRUE(mp3.FindPictureFrame(src, tagSize, offset, size));
  EXPECT_FALSE(mp3.CopyWithoutFrame(src, dir / "folder", tagSize, offset, size));
  EXPECT_EQ(Split(mp3, {0, 500, 1000},
                  [&](size_t i) { return i == 1 ? dir / "folder" : dir / std::to_string(i); }),
            (std::vector<bool>{true, false, true}));
  EXPECT_TRUE(fs::exists(dir / "folder/inside"));

  // A folder in the place of the settings file: the defaults, and a save that says it failed.
  fs::create_directory(dir / "prog");
  fs::create_directory(dir / "prog/Pelcato.ini");
  TAppSettings settings;
  settings.ProgramFolder = dir / "prog/";
  LoadSettings(settings);
  EXPECT_EQ(settings.SplitInto, 2);
  EXPECT_EQ(settings.Language, LangAuto);
  std::string shown;
  EXPECT_FALSE(SaveSettings(settings, [&](const std::string& m) { shown = m; }));
  EXPECT_EQ(shown, "Unable to write to " + dir / "prog/Pelcato.ini.");
  EXPECT_TRUE(fs::is_directory(dir / "prog/Pelcato.ini"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "prog"), {}), 1);
}

}  // namespace
}  // namespace pelcato::test
