// The Aider reader's facts and ties, which no rendering shows yet: models
// from announcements (switches inside a launch included), the rounded token
// and cost figures, the input history and LLM log tied to the chat (copies,
// times), the architect's hand-off, and CRLF lines read as LF ones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "aider/status_lines.hpp"
#include "core_temp_tree.hpp"
#include "full_reading.hpp"

namespace {

// Runs the body with TZ set to `zone`, restoring it afterwards.
class Zone {
 public:
  explicit Zone(const char* zone) {
    if (const char* was = std::getenv("TZ")) saved_ = was;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~Zone() {
    if (saved_) ::setenv("TZ", saved_->c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::optional<std::string> saved_;
};

using vt_test::amount;

std::string shown(const vt::Event& e, const vt::Report&) {
  std::string text = std::string(vt::wire_name(e.event_type)) + " " + e.source.record_type.value_or("-");
  if (e.timestamp) text += " @" + e.timestamp->text().substr(11);
  if (e.origin) text += " " + std::string(vt::wire_name(*e.origin));
  if (e.message) {
    std::string m = e.message->str().substr(0, 30);
    for (char& c : m) c = c == '\n' ? '|' : c;
    text += " [" + m + "]";
  }
  if (e.facts.model) text += " model=" + e.facts.model->str();
  if (e.facts.usage) {
    const vt::TokenAmounts& t = e.facts.usage->tokens;
    text += " tokens=" + amount(t.input) + "/" + amount(t.cache_write) + "/" + amount(t.cache_read) + "/" +
            amount(t.output);
    if (e.facts.usage->recorded_cost_usd) text += " cost=" + std::to_string(*e.facts.usage->recorded_cost_usd);
  }
  if (e.copy_of) text += " copy";
  return text;
}

std::vector<std::string> read_all(const std::filesystem::path& path) {
  return vt_test::listed(vt_test::run_full(path), shown);
}

const std::string kChat =
    "\n# aider chat started at 2025-05-04 17:02:36\n\n"
    "> Aider v0.82.2  \n> Main model: gemini/pro with diff-fenced edit format  \n> Weak model: qwen  \n\n"
    "#### fix the  \n#### bug  \n\n"
    "Here is the fix.\n\napp.py\n```\n<<<<<<< SEARCH\nx\n=======\ny\n>>>>>>> REPLACE\n```\n\n"
    "> Tokens: 3.2k sent, 1.1k cache write, 12k cache hit, 222 received. Cost: $0.0014 message, $0.0031 session.  \n"
    "> Applied edit to app.py  \n\n"
    "#### /model openai/qwen3  \n"
    "> Aider v0.82.2  \n> Model: openai/qwen3 with architect edit format  \n\n"
    "#### plan it  \n\n"
    "<thinking-content-7bbe>\nhmm\n</thinking-content-7bbe>\n\nStep one.\n\n"
    "> litellm.RateLimitError: slow down  \n> Retrying in 0.2 seconds...  \n\n"
    "#### Step one.  \n\n"
    "Done.\n";

const std::string kInputs =
    "\n# 2025-05-04 17:06:57.158813\n+fix the\n+bug\n"
    "\n# 2025-05-04 17:08:00.5\n+/model openai/qwen3\n"
    "\n# 2025-05-04 17:09:00.000001\n+n\n";

const std::string kLlm =
    "TO LLM 2025-05-04T17:06:58\n-------\nSYSTEM Act as an expert.\n-------\nUSER fix the\nUSER bug\n"
    "LLM RESPONSE 2025-05-04T17:07:07\nASSISTANT Here is the fix.\nASSISTANT \nASSISTANT app.py\n"
    "ASSISTANT ```\nASSISTANT <<<<<<< SEARCH\nASSISTANT x\nASSISTANT =======\nASSISTANT y\n"
    "ASSISTANT >>>>>>> REPLACE\nASSISTANT ```\n"
    "LLM RESPONSE 2025-05-04T17:07:09\n\n";

TEST(AiderPlace, ChatInputsAndLlmLogTiedTogether) {
  Zone zone("UTC");
  vt_test::TempTree tree;
  tree.file("proj/.aider.chat.history.md", kChat);
  tree.file("proj/.aider.input.history", kInputs);
  tree.file("proj/.aider.llm.history", kLlm);
  EXPECT_EQ(read_all(tree / "proj"),
            (std::vector<std::string>{
                "session_start launch @17:02:36Z [aider chat started at 2025-05-]",
                "task_state announcement @17:02:36Z [Aider v0.82.2|Main model: gemi] model=gemini/pro",
                "prompt_input user @17:06:57.158813Z typed [fix the|bug]",
                "prompt_input input_history @17:06:57.158813Z typed [fix the|bug] copy",
                "developer_message llm_request @17:06:58Z [-------|SYSTEM Act as an exper]",
                "agent_message assistant @17:07:07Z [Here is the fix.||app.py|```|<] model=gemini/pro",
                "token_usage tokens @17:07:07Z [Tokens: 3.2k sent, 1.1k cache ] model=gemini/pro "
                "tokens=3200/1100/12000/222 cost=0.001400",
                "task_state status @17:07:07Z [Applied edit to app.py]",
                "agent_message llm_response @17:07:07Z [Here is the fix.||app.py|```|<] model=gemini/pro copy",
                // A reply without text.
                "task_state llm_response @17:07:09Z []",
                "prompt_input user @17:08:00.500Z command [/model openai/qwen3]",
                "task_state announcement @17:08:00.500Z [Aider v0.82.2|Model: openai/qw] model=openai/qwen3",
                "prompt_input user @17:08:00.500Z typed [plan it]",
                "agent_reasoning reasoning @17:08:00.500Z [<thinking-content-7bbe>|hmm|</] model=openai/qwen3",
                "agent_message assistant @17:08:00.500Z [Step one.] model=openai/qwen3",
                "error error @17:08:00.500Z [litellm.RateLimitError: slow d]",
                // The architect's plan handed to the editor model repeats the agent text.
                "prompt_input user @17:08:00.500Z injected [Step one.]",
                "agent_message assistant @17:08:00.500Z [Done.] model=openai/qwen3",
                "prompt_input input_history @17:08:00.500Z command [/model openai/qwen3] copy",
                // An answer to a yes/no question: in the launch, not among the chat's inputs.
                "prompt_input input_history @17:09:00.000001Z typed [n]"}));
}

// (The launch time read in the zone asked for is checked end to end by
// test_aider.py's test_launch_time_is_read_in_the_zone_named.)
// The same chat as an editor or a hook may leave it reads as the chat.
TEST(AiderPlace, RewrittenChatReadsAsTheChat) {
  struct Row {
    const char* name;
    std::string text;
  };
  std::string crlf, stripped;
  for (const char c : kChat) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  for (std::size_t at = 0; at < kChat.size();) {
    std::size_t end = kChat.find('\n', at);
    std::string line = kChat.substr(at, end - at);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    stripped += line + "\n";
    at = end + 1;
  }
  const Row rows[] = {{"crlf", crlf}, {"bom", "\xEF\xBB\xBF" + kChat.substr(1)}, {"stripped", stripped}};
  vt_test::TempTree tree;
  tree.file("lf/.aider.chat.history.md", kChat);
  const std::vector<std::string> lf = read_all(tree / "lf");
  EXPECT_EQ(lf.size(), 14u);  // the chat's events of the test above
  for (const Row& row : rows) {
    tree.file(std::string(row.name) + "/.aider.chat.history.md", row.text);
    EXPECT_EQ(read_all(tree / row.name), lf) << row.name;
  }
}

TEST(AiderAnnouncements, ModelOfEachVersionsWording) {
  const std::pair<std::string_view, std::optional<std::string_view>> rows[] = {
      {"Main model: anthropic/claude-sonnet-4-20250514 with diff edit format, infinite output",
       "anthropic/claude-sonnet-4-20250514"},
      {"Model: openai/qwen3 with architect edit format", "openai/qwen3"},
      {"Models: gpt-4-1106-preview with udiff edit format, weak model gpt-3.5-turbo-0125", "gpt-4-1106-preview"},
      {"Model: gpt-4-0613 using diff edit format", "gpt-4-0613"},
      {"Weak model: anthropic/claude-3-5-haiku-20241022", std::nullopt},
  };
  for (const auto& [line, model] : rows) {
    EXPECT_TRUE(vt::aider::is_announcement(line)) << line;
    EXPECT_EQ(vt::aider::announced_model(line), model) << line;
  }
}

TEST(AiderTokens, RoundedFiguresAsShown) {
  struct Row {
    std::string line;
    std::optional<std::uint64_t> input, cache_write, cache_read, output;
    std::optional<double> cost;
  };
  const Row rows[] = {
      {"Tokens: 3.2k sent, 222 received.", 3200, {}, {}, 222, {}},
      {"Tokens: 10k sent, 1.0M received. Cost: $1.25 message, $9.00 session.", 10000, {}, {}, 1000000, 1.25},
      {"Tokens: 9.7k sent, 4.1k cache write, 26k cache hit, 99 received.", 9700, 4100, 26000, 99, {}},
      {"Tokens: 3.2k sent, 222 received. Cost: $0.01 session.", 3200, {}, {}, 222, {}},
      {"Tokens: lots sent.", {}, {}, {}, {}, {}},  // not read: no event of tokens
      {"Tokens: 5 eaten, 3 received.", {}, {}, {}, {}, {}},
  };
  for (const Row& row : rows) {
    const auto parsed = vt::aider::parse_tokens_line(row.line);
    ASSERT_EQ(parsed.has_value(), row.input.has_value()) << row.line;
    if (!parsed) continue;
    EXPECT_EQ(parsed->amounts, (vt::TokenAmounts{row.input, row.cache_write, row.cache_read, row.output})) << row.line;
    EXPECT_EQ(parsed->message_cost, row.cost) << row.line;
  }
}

}  // namespace
