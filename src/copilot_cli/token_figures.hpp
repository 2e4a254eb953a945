// Token figures as Copilot CLI states them: the amounts of a usage object
// (`{inputTokens, outputTokens, cacheReadTokens, cacheWriteTokens,
// reasoningTokens}`) or of a token-details object (`{input: {tokenCount},
// output, cache_read, cache_write}`), and their one-line text.
#pragma once

#include <string>
#include <string_view>

#include "core/facts.hpp"
#include "jsonl/json_view.hpp"

namespace vt::copilot {

TokenAmounts stated_amounts(JsonView usage);

// "{model}: input N, cache read N, cache write N, output N, reasoning N",
// each amount only when stated.
std::string amounts_text(std::string_view model, const TokenAmounts& amounts);

}  // namespace vt::copilot
