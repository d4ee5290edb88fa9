// The CRC-16 that the LAME extension of a VBR header frame carries for itself and for the
// music behind it: polynomial 0x8005 taken bit-reversed (0xA001), starting at 0, no final
// inversion.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pelcato {

// Continues crc over len bytes; start with 0. Feeding a buffer in pieces gives the same value
// as feeding it whole, so a writer can sum up the frames as it copies them.
uint16_t UpdateCrc16(uint16_t crc, const uint8_t* data, size_t len);

}  // namespace pelcato
