// The 16-bit check value of character files: CRC-16/CCITT-FALSE (polynomial 0x1021, initial
// value 0xFFFF, most significant bit first, no final XOR) fed with a count of bits rather than
// bytes. The byte index wraps at 256, so past bit 2048 the bytes are read again from the
// start; both quirks are part of the file format.
#pragma once

#include "chardata/ImageView.h"

namespace kp {

// The check value over `bits` bits from `d`. Reads min(256, ceil(bits / 8)) bytes.
WORD CalcCrc(const BYTE* d, WORD bits);

// Bytes that CalcCrc reads for a bit count.
std::size_t CrcBytesRead(WORD bits);

// CalcCrc over the image from `off`; false (and no read) when the bytes are not all inside.
bool CalcCrcInImage(const ImageView& image, std::size_t off, WORD bits, WORD& crc);

} // namespace kp
