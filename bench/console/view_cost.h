#pragma once
// What the log view's edit control costs as it fills: for each size, one small append (also
// with drawing held, as large slices go in), one 64 Ki-character append, the paint after them,
// the removal of the oldest quarter of the lines, and the process's memory. It runs in-process
// on a plain window built from the console's dialog template, through the console's own view
// (CLogView: its roomy buffer, append and trim), so the figures are the view's own.

namespace zelbench {

// Fills the view up to maxMillions million characters, printing a row at each size on the way;
// `focused`: with the keyboard focus in the view, as when the operator has clicked into it.
int ViewCostMain(int maxMillions, bool focused);

} // namespace zelbench
