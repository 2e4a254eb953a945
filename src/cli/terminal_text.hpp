// Text from the input made safe for a terminal. The program's outputs meant
// for people (the session table, the diagnostics listed on standard error,
// error messages) show what was read, and a terminal obeys control
// characters in it: ESC sequences and the C1 controls (U+0080 to U+009F,
// U+009B standing for ESC [) can move the cursor, hide text, retitle the
// window or answer back, and bidirectional controls reorder what is shown.
// They become visible escapes instead. The JSON, JSON-lines and CSV
// renderings stay exact.
#pragma once

#include <string>
#include <string_view>

namespace vt::cli {

// `text` with invalid UTF-8 replaced by U+FFFD, and every C0 control, DEL,
// C1 control and bidirectional control written as an escape: "\n", "\t",
// "\r", "\x1b", "\x7f", "\u009b", "\u202e". With `keep_line_breaks`, line
// feeds and tabs stay as they are.
std::string terminal_text(std::string_view text, bool keep_line_breaks = false);

}  // namespace vt::cli
