#include "mp3/Decoder.h"

#include <fcntl.h>
#include <mpg123.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "mp3/DecoderInput.h"
#include "mp3/MediaPlayer.h"

namespace pelcato {
namespace {

int Encoding(TSampleType type) {
  return type == TSampleType::Float ? MPG123_ENC_FLOAT_32 : MPG123_ENC_SIGNED_16;
}

size_t SampleBytes(TSampleType type) {
  return type == TSampleType::Float ? sizeof(float) : sizeof(int16_t);
}

TDecodeStatus StatusOf(int rc) {
  switch (rc) {
    case MPG123_OK:
      return TDecodeStatus::Ok;
    case MPG123_NEW_FORMAT:
      return TDecodeStatus::NewFormat;
    case MPG123_DONE:
      return TDecodeStatus::Done;
    default:
      return TDecodeStatus::Error;
  }
}

}  // namespace

TDecoder::TDecoder(const TDecoderSetup& setup) : FSamples(setup.Samples) {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
  int err = MPG123_OK;
  FHandle = mpg123_new(nullptr, &err);
  if (!FHandle) {
    throw EPlayerError(std::string("Cannot start the decoder: ") + mpg123_plain_strerror(err));
  }
  long flags = MPG123_QUIET;
  if (setup.DecodeInfoFrame) flags |= MPG123_IGNORE_INFOFRAME;
  if (setup.MonoMix) flags |= MPG123_MONO_MIX;
  mpg123_param(FHandle, MPG123_ADD_FLAGS, flags, 0.0);
  if (!setup.Gapless) mpg123_param(FHandle, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
  // Every rate, in the sample type asked for; mixed down, only mono.
  mpg123_format_none(FHandle);
  const long* rates = nullptr;
  size_t rateCount = 0;
  mpg123_rates(&rates, &rateCount);
  const int channels = setup.MonoMix ? MPG123_MONO : MPG123_MONO | MPG123_STEREO;
  for (size_t i = 0; i < rateCount; ++i) {
    mpg123_format(FHandle, rates[i], channels, Encoding(FSamples));
  }
  mpg123_replace_reader_handle(FHandle, TDecoderInput::Read, TDecoderInput::Seek,
                               TDecoderInput::Cleanup);
}

TDecoder::~TDecoder() {
  Close();
  mpg123_delete(FHandle);
}

bool TDecoder::OpenInput(TDecoderInput* input) {
  // On success and failure alike the library owns the input from here and cleans it up.
  if (mpg123_open_handle(FHandle, input) != MPG123_OK) {
    FError = mpg123_strerror(FHandle);
    mpg123_close(FHandle);
    return false;
  }
  FInput = input;
  FOpen = true;
  return true;
}

bool TDecoder::OpenFile(const std::string& path, const TFileReading& reading) {
  Close();
  auto* input = new TDecoderInput;
  input->Fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat st;
  if (input->Fd < 0 || fstat(input->Fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    FError = input->Fd < 0 ? std::strerror(errno) : "not a regular file";
    TDecoderInput::Cleanup(input);
    return false;
  }
  if (reading.LengthOnly) {
    try {
      input->Mapped = std::make_unique<TSourceFile>(path);
    } catch (const std::exception&) {
      input->Mapped.reset();  // read it all
    }
  }
  input->Stop = reading.Stop;
  return OpenInput(input);
}

bool TDecoder::OpenFd(int fd) {
  Close();
  auto* input = new TDecoderInput;
  input->Fd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (input->Fd < 0) {
    FError = std::strerror(errno);
    delete input;
    return false;
  }
  return OpenInput(input);
}

bool TDecoder::OpenMemory(const void* data, size_t size) {
  Close();
  auto* input = new TDecoderInput;
  input->Memory = static_cast<const uint8_t*>(data);
  input->MemorySize = int64_t(size);
  return OpenInput(input);
}

void TDecoder::Close() {
  if (FOpen) mpg123_close(FHandle);
  FOpen = false;
  FInput = nullptr;
  FError.clear();
}

bool TDecoder::Format(long& rate, int& channels) {
  int encoding = 0;
  rate = 0;
  channels = 0;
  if (!FOpen || mpg123_getformat(FHandle, &rate, &channels, &encoding) != MPG123_OK) {
    return false;
  }
  return rate > 0 && channels > 0 && encoding == Encoding(FSamples);
}

void TDecoder::KeepFormat(long rate, int channels) {
  mpg123_format_none(FHandle);
  mpg123_format(FHandle, rate, channels == 1 ? MPG123_MONO : MPG123_STEREO, Encoding(FSamples));
}

int64_t TDecoder::SamplesPerFrame() {
  return FOpen ? int64_t(mpg123_spf(FHandle)) : 0;
}

int TDecoder::EncoderDelay() {
  long delay = -1;
  double unused = 0.0;
  if (!FOpen || mpg123_getstate(FHandle, MPG123_ENC_DELAY, &delay, &unused) != MPG123_OK) return -1;
  return int(delay);
}

bool TDecoder::Scan() {
  return FOpen && mpg123_scan(FHandle) == MPG123_OK;
}

int64_t TDecoder::Length() {
  return FOpen ? int64_t(mpg123_length(FHandle)) : -1;
}

bool TDecoder::Seek(int64_t sample) {
  return FOpen && mpg123_seek(FHandle, off_t(sample), SEEK_SET) >= 0;
}

TDecodeStatus TDecoder::DecodeFrame(TDecodedFrame& frame) {
  frame = {};
  if (!FOpen) return TDecodeStatus::Error;
  off_t number = 0;
  unsigned char* audio = nullptr;
  size_t bytes = 0;
  const TDecodeStatus status = StatusOf(mpg123_decode_frame(FHandle, &number, &audio, &bytes));
  if (status != TDecodeStatus::Ok) return status;
  mpg123_frameinfo info{};
  mpg123_info(FHandle, &info);
  long rate = 0;
  int channels = 0, encoding = 0;
  mpg123_getformat(FHandle, &rate, &channels, &encoding);
  frame.Data = audio;
  frame.Bytes = bytes;
  if (channels > 0) frame.Samples = int64_t(bytes / (size_t(channels) * SampleBytes(FSamples)));
  frame.Pos = int64_t(mpg123_framepos(FHandle));
  frame.FrameBytes = info.framesize;
  frame.Layer = info.layer;
  return status;
}

TDecodeStatus TDecoder::Read(void* dst, size_t bytes, size_t& got) {
  got = 0;
  if (!FOpen) return TDecodeStatus::Error;
  return StatusOf(mpg123_read(FHandle, static_cast<unsigned char*>(dst), bytes, &got));
}

std::string TDecoder::ErrorText() const {
  if (!FOpen && !FError.empty()) return FError;
  return mpg123_strerror(FHandle);
}

bool TDecoder::ReadFailed() const {
  return mpg123_errcode(FHandle) == MPG123_ERR_READER;
}

bool TDecoder::OutOfMemory() const {
  return mpg123_errcode(FHandle) == MPG123_OUT_OF_MEM;
}

int64_t TDecoder::InputPos() const {
  return FOpen && FInput ? FInput->Position() : 0;
}

int64_t TDecoder::InputSize() const {
  return FOpen && FInput ? FInput->Size() : 0;
}

}  // namespace pelcato
