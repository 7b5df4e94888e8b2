#pragma once
// A save of a full view while text keeps arriving, against the real program and its real save
// dialog:
//
//   zel_bench --save-full: the view filled to 24,000,000 characters (240 frames of 100,000
//       characters, in 100-character CR LF lines); then "保存日志" is clicked, one client sends
//       20 more such frames while the dialog is open, and a file name is confirmed 2 s later.
//       Prints whether the file holds the view as it was at the click followed by the frames
//       that arrived, how long each step took, and the console's memory.

namespace zelbench {

int SaveFullMain();

} // namespace zelbench
