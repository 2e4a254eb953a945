// The close of the program's own JSON-lines outputs (diagnostics file,
// Timesketch export): flush what is held, and on any failure of the writing
// the one error the program reports for it.
#pragma once

#include "core/parse_error.hpp"
#include "core/path_text.hpp"
#include "output/buffered_sink.hpp"

namespace vt::cli {

inline Status finish_lines(BufferedSink& out) {
  if (out.failed() || !out.finish()) {
    out.abandon();
    return fail(ParseError::message("I/O write error: " + os_error_text(out.error())));
  }
  return {};
}

}  // namespace vt::cli
