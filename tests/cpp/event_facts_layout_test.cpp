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

struct FactsCase {
  const char* name;
  std::function<void(Event&)> fill;
  std::vector<std::pair<const char*, nlohmann::ordered_json>> expected;  // some facts that are not null
  std::size_t present;                                                   // how many are not null
};

TEST(EventFactsLayout, CompactGivesThePrettyMembersInOrder) {
  const std::vector<FactsCase> cases = {
      {"none", [](Event&) {}, {}, 0},
      {"first", [](Event& e) { e.facts.model = "gpt-5"; }, {{"model", "gpt-5"}}, 1},
      {"second, from usage",
       [](Event& e) {
         Usage usage;
         usage.tokens.input = 12;
         e.facts.usage = usage;
       },
       {{"input_tokens", 12}}, 1},
      {"cost without tokens",
       [](Event& e) {
         Usage usage;
         usage.cost_usd = 0.25;
         e.facts.usage = usage;
       },
       {{"cost_usd", 0.25}}, 1},
      {"a middle flag", [](Event& e) { e.facts.tool_error = false; }, {{"tool_error", false}}, 1},
      {"a negative exit code", [](Event& e) { e.facts.exit_code = -1; }, {{"exit_code", -1}}, 1},
      {"the input only", [](Event& e) { e.input = "/data/in"; }, {{"input", "/data/in"}}, 1},
      {"the last only", [](Event& e) { e.copy_of = "abc"; }, {{"copy_of", "abc"}}, 1},
      {"two apart",
       [](Event& e) {
         e.facts.tool_name = "shell";
         e.facts.git_branch = "main";
       },
       {{"tool_name", "shell"}, {"git_branch", "main"}}, 2},
      {"every one",
       [](Event& e) {
         e.facts.model = "m";
         Usage usage;
         usage.tokens = {1, 2, 3, 4, 5, 6};
         usage.cost_usd = 1.5;
         usage.recorded_cost_usd = 2.0;
         e.facts.usage = usage;
         e.facts.tool_name = "t";
         e.facts.tool_call_id = "c";
         e.facts.tool_input = "ls -la";
         e.facts.tool_error = true;
         e.facts.exit_code = 2;
         e.facts.record_id = "r";
         e.facts.message_id = "msg";
         e.facts.parent_id = "p";
         e.facts.sidechain = true;
         e.facts.agent_id = "a";
         e.facts.git_branch = "b";
         e.input = "i";
         e.copy_of = "o";
       },
       {{"model", "m"}, {"sidechain", true}, {"copy_of", "o"}, {"cost_usd", 1.5}}, kFactFieldCount},
  };
  for (const FactsCase& c : cases) {
    Event event;
    c.fill(event);
    for (const EventExtras extras : {EventExtras{true, true}, EventExtras{false, true}}) {
      const std::string compact = render(event, false, extras);
      const std::string pretty = render(event, true, extras);
      const auto compact_value = nlohmann::ordered_json::parse(compact);
      // Ordered: the same members in the same order, with the same values.
      EXPECT_EQ(compact_value, nlohmann::ordered_json::parse(pretty)) << c.name;
      for_each_fact_field([&](const auto& field) {
        EXPECT_EQ(occurrences(compact, "\"" + std::string(field.name) + "\":"), 1u)
            << c.name << ": " << field.name;
      });
      for (const auto& [name, value] : c.expected) EXPECT_EQ(compact_value.at(name), value) << c.name << ": " << name;
      std::size_t present = 0;
      for_each_fact_field([&](const auto& field) { present += compact_value.at(field.name).is_null() ? 0 : 1; });
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
