#include "sound/SoundPlayer.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace pelcato {

TPcmConverter::TPcmConverter(const TPcmFormat& from, const TPcmFormat& to) : FFrom(from), FTo(to) {}

void TPcmConverter::MapChannels(const int16_t* in, size_t frames, std::vector<int16_t>& out) const {
  const size_t inCh = size_t(FFrom.Channels), outCh = size_t(FTo.Channels);
  const size_t base = out.size();
  out.resize(base + frames * outCh);
  int16_t* dst = out.data() + base;
  for (size_t f = 0; f < frames; ++f, in += inCh, dst += outCh) {
    if (inCh == outCh) {
      std::memcpy(dst, in, outCh * sizeof(int16_t));
    } else if (outCh == 1) {
      int32_t sum = 0;
      for (size_t c = 0; c < inCh; ++c) sum += in[c];
      dst[0] = int16_t(sum / int32_t(inCh));
    } else {
      for (size_t c = 0; c < outCh; ++c) dst[c] = inCh == 1 ? in[0] : c < inCh ? in[c] : 0;
    }
  }
}

void TPcmConverter::Push(const int16_t* in, size_t frames, std::vector<int16_t>& out) {
  if (frames == 0) return;
  if (FFrom.Rate == FTo.Rate) {
    MapChannels(in, frames, out);
    return;
  }
  const size_t ch = size_t(FTo.Channels);
  FMapped.clear();
  MapChannels(in, frames, FMapped);
  // Input frame i (counted over the whole stream) is FLast for i == FInFrames - 1 and
  // FMapped[i - FInFrames] from there on. Output frame k stands at input position
  // k * from / to; it needs the input frames on both sides of that position.
  const int64_t first = FInFrames - (FLast.empty() ? 0 : 1);
  const int64_t last = FInFrames + int64_t(frames) - 1;
  auto at = [&](int64_t i) {
    return i < FInFrames ? FLast.data() : FMapped.data() + size_t(i - FInFrames) * ch;
  };
  for (;;) {
    const int64_t pos = FOutFrames * FFrom.Rate;
    const int64_t i0 = pos / FTo.Rate;
    const int64_t frac = pos % FTo.Rate;
    if (i0 < first) {  // cannot happen once the stream has started; skip rather than read before
      ++FOutFrames;
      continue;
    }
    if (i0 + (frac ? 1 : 0) > last) break;
    const int16_t* a = at(i0);
    const int16_t* b = frac ? at(i0 + 1) : a;
    for (size_t c = 0; c < ch; ++c)
      out.push_back(int16_t(a[c] + (int64_t(b[c]) - a[c]) * frac / FTo.Rate));
    ++FOutFrames;
  }
  FLast.assign(at(last), at(last) + ch);
  FInFrames += int64_t(frames);
}

// Decodes a frame at a time as the output pulls. The player detaches it before it closes the
// file; from then on it gives nothing and never touches the decoder again.
class TDecodeSource : public TPcmSource {
 public:
  TDecodeSource(TDecoder* decoder, const TPcmFormat& from, const TPcmFormat& to)
      : FDecoder(decoder), FFrom(from), FTo(to), FConverter(from, to) {}

  size_t Read(int16_t* dst, size_t maxFrames) override {
    std::lock_guard<std::mutex> lock(FMutex);
    const size_t ch = size_t(FTo.Channels);
    size_t done = 0;
    while (done < maxFrames) {
      if (FPos == FPending.size()) {
        FPending.clear();
        FPos = 0;
        if (!FDecoder || !DecodeSome()) break;
        continue;
      }
      const size_t n = std::min(maxFrames - done, (FPending.size() - FPos) / ch);
      std::memcpy(dst + done * ch, FPending.data() + FPos, n * ch * sizeof(int16_t));
      FPos += n * ch;
      done += n;
    }
    return done;
  }

  void Detach() {
    std::lock_guard<std::mutex> lock(FMutex);
    FDecoder = nullptr;
  }

 private:
  // Decodes the next piece into FPending; false at the end of the stream or on an error that
  // libmpg123 cannot step over.
  bool DecodeSome() {
    for (int empty = 0; empty < 64; ++empty) {
      size_t got = 0;
      const TDecodeStatus ret = FDecoder->Read(FDecoded.data(), FDecoded.size(), got);
      if (ret == TDecodeStatus::NewFormat) {
        long rate = 0;
        int channels = 0;
        if (!FDecoder->Format(rate, channels)) return End();
        if (rate != FFrom.Rate || channels != FFrom.Channels) {
          FFrom = {int(rate), channels};
          FConverter = TPcmConverter(FFrom, FTo);
        }
      }
      const size_t frames = got / (sizeof(int16_t) * size_t(FFrom.Channels));
      if (frames > 0)
        FConverter.Push(reinterpret_cast<const int16_t*>(FDecoded.data()), frames, FPending);
      // The last piece comes with Done; an error libmpg123 cannot step over ends the
      // stream as well.
      if (ret != TDecodeStatus::Ok && ret != TDecodeStatus::NewFormat) FDecoder = nullptr;
      if (!FPending.empty()) return true;
      if (!FDecoder) return false;
    }
    return End();
  }

  bool End() {
    FDecoder = nullptr;
    return false;
  }

  std::mutex FMutex;
  TDecoder* FDecoder;
  TPcmFormat FFrom, FTo;
  TPcmConverter FConverter;
  std::vector<unsigned char> FDecoded = std::vector<unsigned char>(1152 * 2 * sizeof(int16_t));
  std::vector<int16_t> FPending;
  size_t FPos = 0;
};

TSoundPlayer::TSoundPlayer(std::unique_ptr<TAudioOutput> output) : FOutput(std::move(output)) {}

TSoundPlayer::~TSoundPlayer() {
  StopOutput();
}

void TSoundPlayer::StopOutput() noexcept {
  // Keep where the sound stood; then no sample more is decoded, and the device falls silent.
  if (FPlaying) FPositionMs = Position();
  FPlaying = false;
  if (FSource) FSource->Detach();
  if (FOutput) FOutput->Stop();
  FSource.reset();
}

void TSoundPlayer::Open(const std::string& fileName) {
  StopOutput();
  TMpg123Player::Open(fileName);
  // Always 16-bit samples at the stream's own rate and channels; conversion is ours.
  Decoder().KeepFormat(Rate(), Channels());
  FPositionMs = 0;
}

int64_t TSoundPlayer::Length() {
  if (FPlaying) return FLengthMs;
  return TMpg123Player::Length();
}

int64_t TSoundPlayer::Position() {
  if (!FPlaying) return FPositionMs;
  const int64_t played = FOutput->PlayedFrames();
  return std::min(FLengthMs, FStartMs + played * 1000 / FOutFormat.Rate);
}

void TSoundPlayer::SetPosition(int64_t ms) {
  TMpg123Player::SetPosition(ms);
  FPositionMs = std::max<int64_t>(ms, 0);
}

void TSoundPlayer::Play() {
  if (!IsOpen()) throw EPlayerError("No file is open");
  StopOutput();
  if (!FOutput) throw EPlayerError("No audio output device is available");
  // After the scan libmpg123 knows where every frame starts, so the seek is exact to the sample.
  FLengthMs = TMpg123Player::Length();
  const int64_t samples = Decoder().Length();
  const int64_t from = std::min<int64_t>(FPositionMs * Rate() / 1000, samples);
  if (!Decoder().Seek(from))
    throw EPlayerError("Cannot seek in the file: " + Decoder().ErrorText());
  const TPcmFormat fileFormat{int(Rate()), Channels()};
  FOutFormat = FOutput->Prepare(fileFormat);
  if (FOutFormat.Rate <= 0 || FOutFormat.Channels <= 0)
    throw EPlayerError("The audio output offers no usable format");
  auto source = std::make_shared<TDecodeSource>(&Decoder(), fileFormat, FOutFormat);
  FStartMs = std::min(FPositionMs, FLengthMs);
  try {
    FOutput->Start(FOutFormat, source);
  } catch (...) {
    source->Detach();
    FOutput->Stop();
    throw;
  }
  FSource = std::move(source);
  FPlaying = true;
}

TPlayerMode TSoundPlayer::Mode() {
  if (!IsOpen()) return TPlayerMode::NotOpen;
  if (FPlaying && FOutput->Drained()) StopOutput();
  return FPlaying ? TPlayerMode::Playing : TPlayerMode::Stopped;
}

void TSoundPlayer::Close() {
  StopOutput();
  TMpg123Player::Close();
  FPositionMs = 0;
}

}  // namespace pelcato
