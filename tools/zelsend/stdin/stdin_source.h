#pragma once
// The source of zelsend's one-shot modes: its arguments, or the lines or bytes of standard input.
//
// These deliver over one blocking connection rather than through zel::LogClient, because what a
// script pipes in must all arrive or the script must hear otherwise: the client would wait for a
// console that is not there, and under pressure it drops the oldest lines to keep the newest.
// So a pipe never loses a line, and the exit code says whether the console got them.
#include "common/line_rules.h"
#include "common/options.h"
#include "port/socket.h"
#include "port/text_decoder.h"

namespace zelsend {

// Each argument is one frame (with CR LF after it when asked).
int SendMessages(Socket& socket, const Options& options);

// Each line of standard input that `rules` keeps is one frame, sent as soon as it is complete.
// Stops at a line too long for a frame, after the lines before it have gone.
int SendStdinLines(Socket& socket, const TextDecoder& decoder, const LineRules& rules, bool crlf);

// Standard input as it is, with no framing.
int SendStdinRaw(Socket& socket);

} // namespace zelsend
