#include "core/counting.hpp"

#include <string>
#include <string_view>
#include <unordered_map>

#include "core/prompt_origin.hpp"

namespace vt {

namespace {

constexpr std::string_view kUserMessage = "event_msg/user_message";

std::string_view record_type(const Event& e) {
  return e.source.record_type ? std::string_view(*e.source.record_type) : std::string_view();
}

bool in_sub_agent(const Event& e) { return record_type(e).starts_with("sidechain/"); }

std::optional<PromptOrigin> origin_of(const Event& e) {
  if (e.event_type != EventType::PromptInput) return std::nullopt;
  return e.origin ? e.origin : prompt_origin(e);
}

// Codex writes each agent message twice (event and conversation item): the
// event counts, or in older rollouts the top-level item.
bool is_agent_message(const Event& e) {
  if (e.event_type != EventType::AgentMessage) return false;
  if (e.provider != Provider::Codex) return true;
  const std::string_view type = record_type(e);
  return type == "event_msg/agent_message" || type == "message";
}

bool has_usage(const Event& e) { return e.facts.usage && (e.facts.usage->tokens.any() || e.facts.usage->cost_usd || e.facts.usage->recorded_cost_usd); }

// Whether the rule could count `e` for anything at all.
bool may_count(const Event& e) {
  return e.event_type == EventType::PromptInput || is_agent_message(e) || e.event_type == EventType::ToolCall ||
         has_usage(e);
}

std::string_view record_id(const Event& e) {
  if (e.facts.record_id) return *e.facts.record_id;
  if (e.source.artifact_kind == ArtifactKind::Transcript && e.source.source_id) return *e.source.source_id;
  return {};
}

bool same_place(const Event& a, const Event& b) {
  return a.input == b.input && a.source.relative_path == b.source.relative_path && a.source.line_number &&
         a.source.line_number == b.source.line_number;
}

int rank(PromptOrigin origin) {
  switch (origin) {
    case PromptOrigin::Typed: return 3;
    case PromptOrigin::Command: return 2;
    case PromptOrigin::Injected: return 1;
  }
  return 0;
}

CountedAs prompt_kind(PromptOrigin origin) {
  switch (origin) {
    case PromptOrigin::Typed: return CountedAs::TypedPrompt;
    case PromptOrigin::Command: return CountedAs::CommandPrompt;
    case PromptOrigin::Injected: return CountedAs::InjectedPrompt;
  }
  return CountedAs::Nothing;
}

struct SessionContext {
  bool conversation_prompts = false;  // prompts in its own conversation, outside sub-agents
  bool user_messages = false;         // user-message events
};

struct PromptRecord {
  std::size_t first = 0;  // the event that carries the count
  PromptOrigin origin = PromptOrigin::Injected;
};

template <class At>
std::vector<EventCount> count_all(std::size_t n, At at) {
  std::vector<EventCount> counted(n);
  std::unordered_map<std::string, std::uint32_t> session_index;
  std::vector<SessionContext> sessions;
  std::vector<std::uint32_t> session_of(n, 0);
  std::unordered_map<std::string, std::size_t> record_first;  // session and record id: first place
  std::string key;

  const auto session_key = [&key](const Event& e) {
    key.assign(1, static_cast<char>(e.provider));
    if (e.session_id) {
      key.push_back('+');
      key.append(e.session_id->str());
    }
    key.push_back('\0');
  };

  // Pass 1: each session's context and each record's first place.
  std::string_view last_session;
  Provider last_provider = Provider::Unknown;
  std::uint32_t last_index = 0;
  bool last_had_session = false;  // the session above is a session (not the group without one)
  for (std::size_t i = 0; i < n; ++i) {
    const Event& e = at(i);
    const std::string_view session = e.session_id ? std::string_view(*e.session_id) : std::string_view();
    if (!e.session_id || !last_had_session || session != last_session || e.provider != last_provider) {
      session_key(e);
      const auto [found, added] = session_index.try_emplace(key, static_cast<std::uint32_t>(sessions.size()));
      if (added) sessions.emplace_back();
      last_index = found->second;
      last_session = session;
      last_provider = e.provider;
      last_had_session = e.session_id.has_value();
    }
    session_of[i] = last_index;
    if (e.copy_of || !may_count(e)) continue;
    SessionContext& context = sessions[last_index];
    if (e.event_type == EventType::PromptInput) {
      if (e.source.artifact_kind != ArtifactKind::History && !in_sub_agent(e)) context.conversation_prompts = true;
      if (record_type(e) == kUserMessage) context.user_messages = true;
    }
    if (const std::string_view id = record_id(e); !id.empty()) {
      session_key(e);
      key.append(id);
      const auto [found, added] = record_first.try_emplace(key, i);
      if (!added && in_sub_agent(at(found->second)) && !in_sub_agent(e)) found->second = i;
    }
  }

  // Pass 2: what each event counts as; prompts gathered per record place.
  std::unordered_map<std::string, std::size_t> prompt_index;
  std::vector<PromptRecord> prompts;
  for (std::size_t i = 0; i < n; ++i) {
    const Event& e = at(i);
    if (e.copy_of || !may_count(e)) continue;
    if (const std::string_view id = record_id(e); !id.empty()) {
      session_key(e);
      key.append(id);
      const auto first = record_first.find(key);  // learnt in pass 1 under the same conditions
      if (first != record_first.end() && first->second != i && !same_place(at(first->second), e)) {
        continue;  // a copy of a record read before
      }
    }
    counted[i].usage = has_usage(e);
    if (is_agent_message(e)) {
      counted[i].as = CountedAs::AgentMessage;
    } else if (e.event_type == EventType::ToolCall) {
      counted[i].as = CountedAs::ToolCall;
    } else if (const auto origin = origin_of(e)) {
      const SessionContext& context = sessions[session_of[i]];
      if (record_type(e).ends_with("command_output")) continue;
      if (e.source.artifact_kind == ArtifactKind::History && context.conversation_prompts) continue;
      if (*origin == PromptOrigin::Typed && context.user_messages && record_type(e) != kUserMessage &&
          e.source.artifact_kind != ArtifactKind::History) {
        continue;
      }
      key.clear();
      if (e.input) key.append(e.input->str());
      key.push_back('\0');
      key.append(e.source.relative_path.str());
      key.push_back('\0');
      key.append(std::to_string(e.source.line_number ? *e.source.line_number : i));
      key.push_back(e.source.line_number ? 'L' : 'E');
      const auto [found, added] = prompt_index.try_emplace(key, prompts.size());
      if (added) {
        prompts.push_back(PromptRecord{i, *origin});
      } else if (rank(*origin) > rank(prompts[found->second].origin)) {
        prompts[found->second].origin = *origin;
      }
    }
  }
  for (const PromptRecord& prompt : prompts) counted[prompt.first].as = prompt_kind(prompt.origin);
  return counted;
}

}  // namespace

void Counts::add(const Event& event, EventCount counted) {
  add(counted, counted.usage && event.facts.usage ? &*event.facts.usage : nullptr, event.facts.model);
}

void Counts::add(EventCount counted, const Usage* usage, const OptionalShared& model) {
  switch (counted.as) {
    case CountedAs::Nothing: break;
    case CountedAs::TypedPrompt: ++typed_prompts; break;
    case CountedAs::InjectedPrompt: ++injected_prompts; break;
    case CountedAs::CommandPrompt: ++command_prompts; break;
    case CountedAs::AgentMessage: ++agent_messages; break;
    case CountedAs::ToolCall: ++tool_calls; break;
  }
  if (usage != nullptr) {
    tokens.add(usage->tokens);
    cost.add(*usage, model);
  }
}

void Counts::add(const Counts& other) {
  typed_prompts += other.typed_prompts;
  injected_prompts += other.injected_prompts;
  command_prompts += other.command_prompts;
  agent_messages += other.agent_messages;
  tool_calls += other.tool_calls;
  tokens.add(other.tokens);
  cost.add(other.cost);
}

CountRule::CountRule(std::span<const Event> events)
    : counted_(count_all(events.size(), [events](std::size_t i) -> const Event& { return events[i]; })) {}

CountRule::CountRule(std::span<const Event* const> events)
    : counted_(count_all(events.size(), [events](std::size_t i) -> const Event& { return *events[i]; })) {}

Counts count_events(std::span<const Event* const> events) {
  const CountRule rule(events);
  Counts counts;
  for (std::size_t i = 0; i < events.size(); ++i) counts.add(*events[i], rule[i]);
  return counts;
}

Counts count_events(std::span<const Event> events) {
  const CountRule rule(events);
  Counts counts;
  for (std::size_t i = 0; i < events.size(); ++i) counts.add(events[i], rule[i]);
  return counts;
}

}  // namespace vt
