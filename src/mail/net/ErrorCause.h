// Error texts that carry their cause, in the one form "text (cause)".
#pragma once

#include <cstddef>
#include <string>

// text followed by " (" cause ")"; the cause loses control characters and a
// final period and is cut to MaxCauseLength bytes. An empty cause adds nothing.
std::string WithCause(const std::string& text, const std::string& cause);

const size_t MaxCauseLength = 200;
