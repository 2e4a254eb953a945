// The one pass that prices a run's events (full reading): every event whose
// facts carry tokens gets `cost_usd` from the price of its model, looked up
// once per model; an event whose model has no price (or no model) keeps a
// null cost, never a zero.
#pragma once

#include <vector>

#include "core/records.hpp"
#include "prices/price_table.hpp"

namespace vt {

void price_events(std::vector<Event>& events, const PriceTable& table);

}  // namespace vt
