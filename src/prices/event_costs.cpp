#include "prices/event_costs.hpp"

#include <string>
#include <unordered_map>

namespace vt {

void price_events(std::vector<Event>& events, const PriceTable& table) {
  // Events of a file share one copy of their model's name: the last one
  // looked up answers most events without a lookup.
  std::unordered_map<std::string, const ModelPrice*> prices;
  const std::string* last_name = nullptr;
  const ModelPrice* last_price = nullptr;
  for (Event& event : events) {
    Facts& facts = event.facts;
    if (!facts.usage) continue;
    facts.usage->cost_usd.reset();
    if (!facts.model || !facts.usage->tokens.any()) continue;
    const std::string& name = facts.model->str();
    if (&name != last_name) {
      auto [slot, added] = prices.try_emplace(name, nullptr);
      if (added) slot->second = table.find(name);
      last_name = &name;
      last_price = slot->second;
    }
    if (last_price != nullptr) facts.usage->cost_usd = cost_of(*last_price, facts.usage->tokens);
  }
}

}  // namespace vt
