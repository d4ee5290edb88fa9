// The analysis component: it analyses an MP3 file into its stream facts, copies time ranges of
// it as whole frames, writes a copy without the ID3v2 picture frame, and drives the preview
// player. Saves only read the object, so several may run at once.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mp3/ExactWriter.h"
#include "mp3/FrameIndex.h"
#include "mp3/Id3Tags.h"
#include "mp3/MediaPlayer.h"
#include "mp3/MpegFrameHeader.h"
#include "mp3/VolumeFilter.h"

namespace pelcato {

class TSourceFile;
class TAtomicOutput;
class TFrameSink;

// The facts of one analysed file.
struct TMp3DataInfo {
  std::string FileName;
  int64_t FileSize = 0;
  bool Valid = false;         // a frame header stands where the first frame is expected
  std::string InvalidReason;  // why not, in a few words; empty for a valid file
  bool MciOk = false;         // the player opened the file and told its length
  std::string MciError;
  TPlayerFault MciFault = TPlayerFault::None;  // why the player did not, when it did not
  int Bitrate = 0;                             // kbit/s of the first frame
  int SampleRate = 0;                          // Hz of the first frame
  int FrameSize = 0;                           // bytes of the first frame, padding included
  double Version = 0.0;
  int Layer = 0;
  int Padding = 0;
  bool Mono = false;
  // The channel mode of the first frame: 0 stereo, 1 joint stereo, 2 dual channel, 3 mono.
  int ChannelMode = 0;
  // The first frame is a header frame ("Xing", "Info" or "VBRI", see MpegFrameHeader.h): no
  // audio, passed over by every cut and walk.
  bool HasXing = false;
  THeaderTag HeaderTag = THeaderTag::None;  // which one
  int ID3v1Size = 0;
  int ID3v2Size = 0;  // the whole ID3v2 tag, its 10 header bytes included
  int ApeSize = 0;
  int ID3v2Padding = 0;  // zero bytes between the ID3v2 tag and the first frame
  int64_t Duration = 0;  // ms
  TID3v1Tag Tag;         // meaningful when ID3v1Size > 0

  int64_t FirstFrameOffset() const { return int64_t(ID3v2Size) + ID3v2Padding; }
  int64_t AudioBytes() const { return FileSize - ID3v1Size - ID3v2Size - ID3v2Padding - ApeSize; }
};

// The outcome of writing one piece.
struct TSegmentResult {
  bool Ok = false;
  std::string Path;
  int64_t Bytes = 0;
  int64_t DurationMs = 0;
  // Granule channels whose global gain was held at 0 or 255 short of the volume asked for.
  int64_t Clamped = 0;
};

class TKorvaMP3 {
 public:
  // The player is used to measure the length and to preview; without one the computed
  // length stands and previews fail.
  explicit TKorvaMP3(std::unique_ptr<TMediaPlayer> player);
  ~TKorvaMP3();
  TKorvaMP3(const TKorvaMP3&) = delete;
  TKorvaMP3& operator=(const TKorvaMP3&) = delete;

  TMp3DataInfo Info;
  // When true, a piece whose frames do not all share one bit rate, or whose size does not tell
  // its length (SizeTellsLength), starts with a new VBR header frame ("Xing") that gives its
  // frame count, byte count and seek table, in every save (a split by size too). Off here, where
  // pieces are then the source's frames and nothing else; the window and pelcato-cli switch it on
  // unless told otherwise.
  bool VbrHeader = false;
  // When true, a piece plays exactly the samples of its range in a gapless-aware decoder (see
  // mp3/ExactWriter.h): a header frame with a LAME extension first (VbrHeader is implied), a
  // few frames more than the range on either side. A file that cannot be cut so
  // (ExactRefusal) gets whole frames as without it.
  bool Exact = false;
  // The volume of the pieces, applied to the global gain of their Layer III frames as they are
  // written (mp3/VolumeFilter.h); frames of other layers and header frames stay as they are.
  // PieceGainSteps[i], where there is one, is piece i's gain instead of Volume's.
  TVolume Volume;
  std::vector<int> PieceGainSteps;
  TVolume VolumeOf(size_t piece) const;
  // The length computed from the first frame, before the player's length replaced it.
  int64_t ComputedDuration = 0;

  // Fills Info. Throws EFileError when the file cannot be opened.
  void AnalyzeFile(const std::string& fileName);
  // Asks the player for the length only when measure is true (the command line does without
  // it where the length is not needed). With index, one walk over the frame headers records
  // where the frames lie, so that the saves that follow (a split above all) need not walk
  // the file from its first frame again, and the player's length scan need not read the
  // frames it only counts.
  // An observer is shown every frame of that walk (on the walk's thread, which has ended when
  // AnalyzeFile returns); without an index it is not called at all.
  void AnalyzeFile(const std::string& fileName, bool measure, bool index = false,
                   TFrameObserver* observer = nullptr);

  // Why the analysed file cannot be cut exact to the sample; empty when it can. Walks the file
  // when the analysis made no frame index. Throws EFileError when it cannot be read.
  std::string ExactRefusal() const;
  // What a save's exact pieces work from; nullptr when the file cannot be cut exact (refusal
  // says why). Without a frame index one is made, unless walk allows a save of one piece to
  // walk to it instead. Throws EFileError.
  std::unique_ptr<TExactSave> PrepareExact(TSourceFile& src, std::string* refusal = nullptr,
                                           bool walk = false) const;

  // Finds the first "APIC" frame of the ID3v2 tag. Throws EFileError when the file cannot be
  // opened; false when there is no tag, no picture frame, or the walk meets a broken size.
  bool FindPictureFrame(const std::string& fileName, int& tagSize, int& pictureOffset,
                        int& pictureSize);
  // The source minus the picture frame, with the ID3v2 size reduced by the frame's size.
  bool CopyWithoutFrame(const std::string& source, const std::string& destination, int tagSize,
                        int pictureOffset, int pictureSize);

  // The length of a piece in ms, measured by a walk over its frames when asked for.
  using TLengthOf = std::function<int64_t()>;
  // What a piece carries in front of its frames (an ID3v2 tag), or nothing when empty. Asked
  // on the caller's thread, in the order of the pieces, before the piece's frames are written
  // (with a frame index, up to several pieces ahead of its name and its ID3v1 tag).
  using TFrontFor = std::function<std::vector<uint8_t>(size_t piece, const TLengthOf& lengthMs)>;

  // The bytes of the ID3v2 tag the analysis passed over (header included, not the padding
  // behind it); empty without one. Throws EFileError when the file cannot be read.
  std::vector<uint8_t> ReadID3v2Tag() const;

  // Copies the frames of a time range of the analysed file, whole and byte for byte, into a
  // new file, followed by the tag when its Header is "TAG" (and preceded by what front gives
  // as piece 0). The first frame written is the first whose start time is at or after
  // startMs; frames are written until their time reaches endMs - startMs. A destination that
  // is the source itself is refused, and so is one that exists when noReplace. bytes counts
  // the frames only. With Exact, notExact gets the reason when the piece has whole frames all
  // the same; clamped gets the gains held at a limit (TSegmentResult::Clamped).
  bool SaveSegment(int64_t startMs, int64_t endMs, const std::string& destination,
                   const TID3v1Tag& tag, int64_t& bytes, int64_t& durationMs,
                   const TFrontFor& front = {}, std::string* notExact = nullptr,
                   bool noReplace = false, int64_t* clamped = nullptr);

  // Writes many ranges; each piece is byte-identical to what SaveSegment writes for its range.
  // nameFor gives each piece's path once the piece is to be named (with a frame index, pieces
  // may be written ahead, without a name, on a second thread); done reports each piece. All
  // three are called on the caller's thread, in the order of the pieces. Pieces never replace
  // an existing file when noReplace.
  using TNameFor = std::function<std::string(size_t piece)>;
  using TPieceDone = std::function<void(size_t piece, const TSegmentResult& result)>;
  void SaveSegments(const std::vector<int64_t>& starts, const std::vector<int64_t>& ends,
                    const TNameFor& nameFor, const TID3v1Tag& tag, bool noReplace,
                    const TPieceDone& done, const TFrontFor& front = {});
  // The same with a tag of its own for every piece; tagFor is asked just before nameFor.
  using TTagFor = std::function<TID3v1Tag(size_t piece)>;
  void SaveSegmentsWithTags(const std::vector<int64_t>& starts, const std::vector<int64_t>& ends,
                            const TNameFor& nameFor, const TTagFor& tagFor, bool noReplace,
                            const TPieceDone& done, const TFrontFor& front = {});

  // One frame that a cut copies: where it starts, its bytes and its time.
  struct TFrameSpan {
    int64_t Pos = 0;
    int64_t Bytes = 0;
    double Ms = 0.0;
    uint8_t Header[4] = {};  // its frame header
  };
  // Walks the analysed file as a cut does, from the first frame to the end of the audio, and
  // reports every frame a cut would copy (no VBR header frame, no tag, no junk). Returns the
  // end of the audio (where the walk stops) or -1 when the source is gone or not valid.
  // Throws EFileError on a read error.
  int64_t WalkFrames(const std::function<void(const TFrameSpan& frame)>& each);

  // Writes pieces given as byte places of the source: piece i holds the frames that a walk
  // from from[i] meets before it reaches to[i] (a frame starting before to[i] is taken whole).
  // from[i] must be a place the walk of WalkFrames reaches. Otherwise as SaveSegments.
  void SaveFrameRanges(const std::vector<int64_t>& from, const std::vector<int64_t>& to,
                       const TNameFor& nameFor, const TID3v1Tag& tag, bool noReplace,
                       const TPieceDone& done, const TFrontFor& front = {});

  // True when the frame index shows the stream as its "Xing" or "Info" header frame describes
  // it: that frame first, then nothing but whole frames of one duration end to end up to the
  // end of the audio (an ID3v1 tag at most behind it), and exactly as many as the header
  // counts. The player, which counts the same frames, then tells the length from the header
  // without a scan of its own.
  bool HeaderCountsEveryFrame() const;
  // The frame count of a first frame with "Xing" or "Info", or -1 without one.
  int64_t HeaderFrameCount() const { return FXingFrames; }

  // Takes a length the player measured elsewhere (on another thread, beside the analysis) as
  // AnalyzeFile takes it: the player's length when it could tell one, the computed length and
  // the player's error otherwise.
  void TakeLength(bool measured, int64_t length, const std::string& error,
                  TPlayerFault fault = TPlayerFault::Other);

  bool PlayFrom(std::string& errorText, int64_t fromMs);
  void Stop();
  int64_t PlayPosition();
  bool IsStopped();

 private:
  struct TCursor {
    int64_t Pos = 0;
    double Ms = 0.0;
  };
  // Made by AnalyzeFile when asked for; a save asks UsableIndex once and hands the index to
  // every walk it makes.
  TFrameIndex FIndex;
  int64_t FXingFrames = -1;
  // The index when it still describes the analysed file; nullptr otherwise.
  const TFrameIndex* UsableIndex() const;
  int64_t AudioLimit() const { return Info.FileSize - Info.ID3v1Size - Info.ApeSize - 4; }
  int64_t SourceTagEnd() const { return Info.ID3v1Size > 0 ? Info.FileSize : -1; }
  int64_t SkipZeroPadding(TSourceFile& src, int64_t pos);
  void MeasureWithPlayer(bool measure);
  void SkipTo(TSourceFile& src, TCursor& cursor, int64_t targetMs, const TFrameIndex* index) const;
  // One skip walk for many pieces: a later start goes on from where the earlier stopped,
  // which reaches the same frame as a walk from the first frame would.
  struct TSkipWalk {
    TCursor Shared;
    int64_t Target = 0;
  };
  // Where the piece that starts at startMs starts. A failed piece calls Restart.
  TCursor SkipFor(TSourceFile& src, TSkipWalk& walk, int64_t startMs,
                  const TFrameIndex* index) const;
  void Restart(TSkipWalk& walk) const { walk = {{Info.FirstFrameOffset(), 0.0}, 0}; }
  // Cuts without an index whose last frame lies further on than this are copied while the
  // walk runs (KorvaMp3Guess.cpp).
  static constexpr int64_t kGuessFromBytes = 2 << 20;
  // Where the frames of a piece lie if the stream is what its first frame promises (frames of
  // one bit rate end to end, nothing between them): From and To, or From -1 without a guess.
  struct TGuess {
    int64_t From = -1, To = -1;
  };
  TGuess GuessPiece(TSourceFile& src, int64_t startMs, int64_t spanMs) const;
  int64_t NearestFrame(TSourceFile& src, int64_t ideal, const MpegFrameHeader& like) const;
  // Copies the guessed bytes on the copy thread while this one walks to the start and through
  // the piece. True when the piece is done with (result says whether it was written: the walk
  // met exactly those frames); false with the cursor on the start when the caller has to
  // write the piece.
  bool WriteFromGuess(TSourceFile& src, TCursor& cursor, int64_t startMs, int64_t spanMs,
                      const std::string& destination, const TID3v1Tag& tag,
                      const std::vector<uint8_t>& front, bool noReplace,
                      TSegmentResult& result) const;
  // Copies the frame at pos into out; without out, only steps over it.
  bool CopyFrame(TSourceFile& src, TFrameSink* sink, int64_t& pos, int64_t& bytes,
                 double& ms) const;
  // The filter that gives a piece of whole frames its volume; none when it keeps the source's.
  // frames: how many the piece has, asked only for a fade-out.
  std::optional<TVolumeFilter> FilterFor(const TVolume& volume,
                                         const std::function<int64_t()>& frames) const;
  // The VBR header frame a piece from `from` gets, or an empty vector when it needs none: the
  // piece's frames reach spanMs or the place `to`, whichever comes first.
  static constexpr int64_t kNoSpan = int64_t(1) << 62;
  std::vector<uint8_t> VbrHeaderFor(TSourceFile& src, int64_t from, int64_t spanMs,
                                    int64_t to = INT64_MAX) const;
  // Opens the destination, writes front, lets copyFrames write the frames (adding their
  // bytes and time), ends with the tag and commits; a failure anywhere leaves nothing under
  // the name.
  using TFrameCopy = std::function<void(TAtomicOutput& out, int64_t& bytes, double& written)>;
  bool WriteOutput(TSourceFile& src, const std::string& destination, const TID3v1Tag& tag,
                   const std::vector<uint8_t>& front, bool noReplace, TSegmentResult& result,
                   const TFrameCopy& copyFrames) const;
  bool WritePiece(TSourceFile& src, int64_t from, int64_t spanMs, const std::string& destination,
                  const TID3v1Tag& tag, const std::vector<uint8_t>& front, bool noReplace,
                  TSegmentResult& result, const TFrameIndex* index,
                  const TVolume& volume = {}) const;
  // The frames of a piece (and its VBR header frame when asked for), as WritePiece writes them.
  // Without out, only the walk: the piece's bytes and time, no VBR header frame. The frames get
  // the volume; clamped gets the count of the gains held at a limit.
  void CopyPiece(TSourceFile& src, int64_t from, int64_t spanMs, TAtomicOutput* out, int64_t& bytes,
                 double& written, const TFrameIndex* index, const TVolume& volume = {},
                 int64_t* clamped = nullptr) const;
  // The time of the piece from `from` (CopyPiece without an output) and of the frames from
  // `from` to `to` (WriteFrames without one), in whole ms as a piece reports it.
  int64_t PieceLength(TSourceFile& src, int64_t from, int64_t spanMs,
                      const TFrameIndex* index) const;
  int64_t RangeLength(TSourceFile& src, int64_t from, int64_t to) const;
  // The loop of every save of many pieces, in their order: ready (when given) waits until the
  // piece may be named, then its tag and its name are asked for, the piece is written by
  // write unless the name is the source itself (a throw fails it), and done is told.
  using TWriteOne = std::function<void(size_t piece, const TID3v1Tag& tag, TSegmentResult& result)>;
  void SaveInOrder(size_t count, const TNameFor& nameFor, const TTagFor& tagFor,
                   const TPieceDone& done, const TWriteOne& write,
                   const std::function<void(size_t piece)>& ready = {}) const;
  // SaveSegmentsWithTags with a frame index, on two threads (KorvaMp3Pieces.cpp). False when
  // no second thread could be had; nothing was written then.
  bool SavePiecesSideBySide(const std::vector<int64_t>& starts, const std::vector<int64_t>& ends,
                            const TNameFor& nameFor, const TTagFor& tagFor, bool noReplace,
                            const TPieceDone& done, const TFrontFor& front,
                            const TFrameIndex& index, const TExactSave* exact) const;
  // The exact piece from startMs to endMs into out (nothing for a range past the end), front
  // first; its header frame when it has one.
  // Its frames get the piece's volume; clamped gets the count of gains held at a limit.
  std::optional<TExactHeader> CopyExact(TSourceFile& src, const TExactSave& exact, size_t piece,
                                        int64_t startMs, int64_t endMs, const TFrontFor& front,
                                        TAtomicOutput& out, int64_t& bytes, double& written,
                                        int64_t* clamped = nullptr) const;
  // The length in ms of the exact piece from startMs to endMs.
  int64_t ExactLength(TSourceFile& src, const TExactSave& exact, int64_t startMs,
                      int64_t endMs) const;
  // Ends an exact piece with the tag.
  void EndExact(TAtomicOutput& out, const std::optional<TExactHeader>& header,
                const TID3v1Tag& tag) const;
  // Piece number `piece` from startMs to endMs as a file: exact with exact, else whole frames
  // from where the skip walk finds its start, as also when a walk to an exact piece cannot
  // follow the frames (notExact then says why).
  bool WriteRange(TSourceFile& src, TSkipWalk& walk, const TExactSave* exact, size_t piece,
                  int64_t startMs, int64_t endMs, const std::string& destination,
                  const TID3v1Tag& tag, const TFrontFor& front, bool noReplace,
                  TSegmentResult& result, const TFrameIndex* index,
                  std::string* notExact = nullptr) const;
  bool WriteFrames(TSourceFile& src, int64_t from, int64_t to, const std::string& destination,
                   const TID3v1Tag& tag, const std::vector<uint8_t>& front, bool noReplace,
                   TSegmentResult& result, const TVolume& volume = {}) const;
  bool SourceUsable() const;
  // The source opened for a save; nullptr when it is gone or cannot be read.
  std::unique_ptr<TSourceFile> OpenSource() const;
  // The source can still be read and the destination is not the source.
  bool CanWriteTo(const std::string& destination) const;

  std::unique_ptr<TMediaPlayer> FPlayer;
};

// Places the 128-byte tag at the end of a destination: behind its last byte, or over the
// source's own ID3v1 tag (the 128 bytes that end at sourceTagEnd; -1 for a source without one)
// when a last frame that ran into that tag copied it there. Bytes that only look like a tag
// are audio and stay.
void WriteTag(TAtomicOutput& out, const TID3v1Tag& tag, int64_t sourceTagEnd);

}  // namespace pelcato
