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
//   zel_bench --idle-partial [CLIENTS]: CLIENTS clients (default 1,400) each announce a
//       64,000-byte frame, send 60 KiB of it and stop; then a good client sends a 13-byte
//       frame. Prints how soon it showed, how many idle clients the console dropped, and its
//       working set against its idle one.

namespace zelbench {

int HoldLargeMain(int clients);
int EmptyFloodMain(int seconds);
int IdlePartialMain(int clients);

} // namespace zelbench
