#pragma once
// Clients that would exhaust the console, against the real program:
//
//   zel_bench --hold-large [CLIENTS]: CLIENTS clients (default 150) each announce a 16 MiB
//       frame, send 15 MiB of it as far as the console takes it, and stop there; then a good
//       client sends 1,000 ordinary frames. Prints whether the console lived, its peak working
//       set against its idle one, and how soon the good client's frames showed.
//   zel_bench --empty-flood [SECONDS]: one client sends frames whose text decodes to nothing
//       (a zero byte; a byte that is not UTF-8) for SECONDS (default 15) while keys are
//       pressed; then one good frame. Prints the memory growth and how soon keys were acted on.

namespace zelbench {

int HoldLargeMain(int clients);
int EmptyFloodMain(int seconds);

} // namespace zelbench
