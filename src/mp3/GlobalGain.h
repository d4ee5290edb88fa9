// The global gain of Layer III granules, changed in the frame's own bytes. Each granule of each
// channel carries an 8-bit quantizer step in the side information; the decoder scales the
// granule's spectrum, and so its samples, by 2^((gain - 210) / 4). Adding k to it scales the
// sound by exactly 2^(k/4), 1.505 dB a step, without touching the main data: the bit reservoir,
// the Huffman code and the frame's size stay as they are, and the change can be undone.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pelcato {

// 20 * log10(2^(1/4)): what one step of the global gain does to the level.
constexpr double kGainStepDb = 1.5051499783199060;

// What a change did to one frame.
struct TGainChange {
  bool Changed = false;  // a Layer III frame whose gains were changed (a header frame is not)
  int Clamped = 0;       // granule channels held at 0 or 255 short of the change asked for
};

// Adds steps[gr] to the global gain of every channel of granule gr (one granule in MPEG 2 and
// 2.5, two in MPEG 1) of the frame at frame, of which len bytes are at hand (at least its
// header, CRC and side information). A gain is held within 0 to 255; a gain of 0 stays 0, as
// encoders write it for granules that sound nothing, some with data behind it that must stay
// unheard. The CRC of a protected frame is written afresh. Frames of other layers, frames too
// short for their side information and VBR header frames ("Xing", "Info", "VBRI") are left
// as they are.
TGainChange AddGlobalGain(uint8_t* frame, size_t len, const int steps[2]);

// The CRC-16 a protected Layer III frame carries behind its header: polynomial 0x8005 from
// 0xFFFF over the header's last two bytes and the side information.
uint16_t FrameCrc(const uint8_t* frame);

// Whether the Layer III frame at frame (len bytes at hand) is a VBR header frame rather than
// audio: "Xing" or "Info" behind its side information, or "VBRI" 32 bytes behind its header.
bool IsHeaderFrame(const uint8_t* frame, size_t len);

}  // namespace pelcato
