// An event's facts in the compact layout (where the leading absent facts are
// written as one piece) give the members, order and values of the pretty
// layout (written member by member): with no fact, with the first, a middle
// or the last present, with usage alone, and with every fact present.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/fact_fields.hpp"
#include "output/buffered_sink.hpp"
#include "output/json_layout.hpp"
#include "output/record_json.hpp"
#include "output/sink.hpp"

namespace vt {
namespace {

std::string render(const Event& event, bool pretty, EventExtras extras) {
  MemorySink sink;
  {
    BufferedSink out(sink);
    JsonLayout j(out, pretty);
    put_event_object(j, event, extras);
    EXPECT_TRUE(out.finish().has_value());
  }
  return sink.buffer();
}

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// (a name, the facts set, how many fact members are then not null)
struct FactsCase {
  const char* name;
  std::function<void(Event&)> fill;
  std::size_t present;
};

TEST(EventFactsLayout, CompactGivesThePrettyMembersInOrder) {
  const std::vector<FactsCase> cases = {
      {"none", [](Event&) {}, 0},
      {"first", [](Event& e) { e.facts.model = "gpt-5"; }, 1},
      {"cost without tokens", [](Event& e) { e.facts.usage = Usage{{}, 0.25, std::nullopt}; }, 1},
      {"a middle flag", [](Event& e) { e.facts.tool_error = false; }, 1},
      {"the last only", [](Event& e) { e.copy_of = "abc"; }, 1},
      {"every one",
       [](Event& e) {
         Facts& f = e.facts;
         f.model = "m", f.tool_name = "t", f.tool_call_id = "c", f.tool_input = "ls -la", f.record_id = "r";
         f.message_id = "msg", f.parent_id = "p", f.agent_id = "a", f.git_branch = "b";
         f.usage = Usage{{1, 2, 3, 4, 5, 6}, 1.5, 2.0};
         f.exit_code = 2, f.tool_error = true, f.sidechain = true;
         e.input = "i";
         e.copy_of = "o";
       },
       kFactFieldCount},
  };
  for (const FactsCase& c : cases) {
    Event event;
    c.fill(event);
    for (const EventExtras extras : {EventExtras{true, true}, EventExtras{false, true}}) {
      const std::string compact = render(event, false, extras);
      const auto compact_value = nlohmann::ordered_json::parse(compact);
      // Ordered: the same members in the same order, with the same values.
      EXPECT_EQ(compact_value, nlohmann::ordered_json::parse(render(event, true, extras))) << c.name;
      std::size_t present = 0;
      for_each_fact_field([&](const auto& field) {
        EXPECT_EQ(occurrences(compact, "\"" + std::string(field.name) + "\":"), 1u) << c.name << ": " << field.name;
        present += compact_value.at(field.name).is_null() ? 0 : 1;
      });
      EXPECT_EQ(present, c.present) << c.name;
    }
  }
}

TEST(EventFactsLayout, NoFactsWithoutTheExtras) {
  Event event;
  event.facts.model = "m";
  const std::string compact = render(event, false, EventExtras{});
  EXPECT_EQ(compact.find("\"model\""), std::string::npos);
  EXPECT_EQ(compact.find("copy_of"), std::string::npos);
  EXPECT_EQ(nlohmann::ordered_json::parse(compact), nlohmann::ordered_json::parse(render(event, true, EventExtras{})));
}

}  // namespace
}  // namespace vt
