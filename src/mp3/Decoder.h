// libmpg123 set up once, behind one small type, for everything that decodes: the player, the
// decode check of written files and the search for pauses. A file, an open file descriptor or
// bytes in memory are decoded frame by frame or into a buffer, as 16-bit or float samples, with
// or without gapless trimming; the stream's format, its length and a seek to a sample are at
// hand. Not for use by several threads at once.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

struct mpg123_handle_struct;

namespace pelcato {

enum class TSampleType { S16, Float };

struct TDecoderSetup {
  // Trims the encoder delay and padding that a LAME header tells. Off, every frame decodes
  // whole, and the frame count of a VBR header frame is not trusted for the length either.
  bool Gapless = true;
  // A "Xing" or "Info" frame decoded as a (silent) frame like any other, not taken as a header.
  bool DecodeInfoFrame = false;
  bool MonoMix = false;  // every channel mixed into one
  TSampleType Samples = TSampleType::S16;
};

// How a file is read.
struct TFileReading {
  // Only the length is wanted: the frames' bodies, which a length scan passes over, are not
  // read from the disk (they read as zeros).
  bool LengthOnly = false;
  // Once set, every read fails: a scan under way stops.
  const std::atomic<bool>* Stop = nullptr;
};

// One frame that DecodeFrame decoded.
struct TDecodedFrame {
  const void* Data = nullptr;  // its samples, interleaved
  size_t Bytes = 0;
  int64_t Samples = 0;  // samples per channel
  int64_t Pos = 0;      // where the frame starts in the input
  int64_t FrameBytes = 0;
  int Layer = 0;
};

enum class TDecodeStatus {
  Ok,         // samples came (possibly none)
  NewFormat,  // the output format is new (the first time, or the stream changed): see Format
  Done,       // the end of the stream
  Error,      // see ErrorText, ReadFailed, OutOfMemory; decoding may go on after a damaged frame
};

class TDecoder {
 public:
  // Throws EPlayerError when libmpg123 cannot make a decoder.
  explicit TDecoder(const TDecoderSetup& setup = {});
  ~TDecoder();
  TDecoder(const TDecoder&) = delete;
  TDecoder& operator=(const TDecoder&) = delete;

  // Each Open closes what was open. False with ErrorText when the input cannot be opened or
  // libmpg123 finds nothing to read there. A file must be a regular file; fd is duplicated;
  // the bytes of OpenMemory must stay while the decoder reads them.
  bool OpenFile(const std::string& path, const TFileReading& reading = {});
  bool OpenFd(int fd);
  bool OpenMemory(const void* data, size_t size);
  void Close();
  bool IsOpen() const { return FOpen; }

  // The output's sample rate and channel count; false when the stream has no format libmpg123
  // can decode (no MPEG audio in it). Opening looks for the first frame.
  bool Format(long& rate, int& channels);
  // From now on the output keeps this rate and channel count.
  void KeepFormat(long rate, int channels);
  // Samples per channel of one frame of the stream.
  int64_t SamplesPerFrame();
  // The encoder delay that the stream's LAME header tells, in samples per channel, once the
  // first frame has been looked for (Format); -1 when it tells none.
  int EncoderDelay();

  // The length in samples per channel: after Scan, counted over every frame; before, what the
  // stream's first frames tell (a VBR header frame's count, otherwise an estimate from the
  // size). -1 when unknown.
  bool Scan();
  int64_t Length();
  // To a sample; exact once Scan has run.
  bool Seek(int64_t sample);

  TDecodeStatus DecodeFrame(TDecodedFrame& frame);
  // Up to bytes of samples into dst; got says how many came.
  TDecodeStatus Read(void* dst, size_t bytes, size_t& got);

  // libmpg123's reason for the last failure, and what kind it was.
  std::string ErrorText() const;
  bool ReadFailed() const;
  bool OutOfMemory() const;
  // How far the input has been read, and its size (for progress).
  int64_t InputPos() const;
  int64_t InputSize() const;

 private:
  bool OpenInput(struct TDecoderInput* input);

  mpg123_handle_struct* FHandle = nullptr;
  TSampleType FSamples;
  bool FOpen = false;
  std::string FError;               // an error before libmpg123 had the input
  TDecoderInput* FInput = nullptr;  // owned by libmpg123 while open
};

}  // namespace pelcato
