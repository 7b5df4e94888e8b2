#pragma once
// What the console's decoding of one frame costs, in-process, for frames up to 16 MiB: a whole
// frame at once (DecodePayload), and in the pieces that the console decodes a frame over 512 KiB
// in, one per step of the window (CPayloadDecoder): how many steps, and the longest. Then one
// ordinary 100-byte frame, ASCII, and the same through the code page's round trip.
//
//   zel_bench --decode-cost

namespace zelbench {

int DecodeCostMain();

} // namespace zelbench
