// Checks a written file the way a player meets it: every frame decoded with libmpg123.
#pragma once

#include <cstdint>
#include <string>

namespace pelcato {

struct TStreamCheck {
  bool Decodable = false;  // libmpg123 opened the file and found a stream in it
  std::string Error;       // why not, when not
  int64_t Frames = 0;      // audio frames decoded (a VBR header frame is none)
  int64_t Samples = 0;     // samples per channel decoded, before any gapless trimming
  long SampleRate = 0;
  int64_t DecodedMs = 0;  // Samples as milliseconds
  // Frames that could not be decoded or were lost: an error the decoder reported, or bytes
  // between two frames that are neither frames nor an ID3v2 tag (a damaged frame header).
  int64_t DecodeErrors = 0;
  // Layer III frames at the start whose main data begin in frames before the file's first
  // frame (the bit reservoir): they play as a short glitch or silence.
  int64_t ReservoirFrames = 0;
  // The gapless fields of the LAME extension in the file's header frame, when it has one:
  // samples the encoder put in front of the music and behind it, and who wrote them.
  bool HasGapless = false;
  int Delay = 0;
  int Padding = 0;
  std::string Encoder;
  int64_t HeaderFrames = -1;  // the frames the header frame counts; -1 without a count
  // The timeline of a piece cut from the file is trimmed by the fields: they leave something
  // to play of the frames the header frame counts, and the file holds no more frames than
  // that (a file cut short keeps its delay, as decoders keep it). Otherwise it is every frame.
  bool Trimmed = false;
  // The header frame counts other frames than the file holds: fewer (CutShort false), when a
  // file was joined to another, or more (CutShort true), when the file was cut from a longer
  // one with that frame copied. Decoders then trim a cut short file at its start only (its
  // padding lay further on) and a joined one not at all.
  bool CountMismatch = false;
  bool CutShort = false;
  // The length that players which read the header frame show (ffmpeg, mutagen, libmpg123 until
  // it scans the file): its frame count less the delay and padding they trim, in ms; -1
  // without a count.
  int64_t HeaderMs = -1;
  // What decoders that honour the gapless fields play, in ms.
  int64_t PlayedMs = 0;
};

// Never throws; a file that cannot be read gives Decodable false.
TStreamCheck CheckStream(const std::string& path);

}  // namespace pelcato
