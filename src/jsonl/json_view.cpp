#include "jsonl/json_view.hpp"

#include <algorithm>

namespace vt {

namespace {

void lay_out(const Json& value, std::string_view key, std::vector<JsonNode>& nodes) {
  const auto at = static_cast<std::uint32_t>(nodes.size());
  nodes.emplace_back();
  nodes[at].set_key(key);
  switch (value.type()) {
    case Json::value_t::boolean:
      nodes[at].kind = JsonKind::Boolean;
      nodes[at].number.boolean = value.get<bool>();
      break;
    case Json::value_t::number_integer:
      nodes[at].kind = JsonKind::Integer;
      nodes[at].number.integer = value.get<std::int64_t>();
      break;
    case Json::value_t::number_unsigned:
      nodes[at].kind = JsonKind::Unsigned;
      nodes[at].number.unsigned_value = value.get<std::uint64_t>();
      break;
    case Json::value_t::number_float:
      nodes[at].kind = JsonKind::Float;
      nodes[at].number.float_value = value.get<double>();
      break;
    case Json::value_t::string:
      nodes[at].kind = JsonKind::String;
      nodes[at].set_text(value.get_ref<const Json::string_t&>());
      break;
    case Json::value_t::array:
      nodes[at].kind = JsonKind::Array;
      for (const Json& item : value.get_ref<const Json::array_t&>()) lay_out(item, {}, nodes);
      break;
    case Json::value_t::object:
      nodes[at].kind = JsonKind::Object;
      for (const auto& [name, member] : value.get_ref<const Json::object_t&>()) lay_out(member, name, nodes);
      break;
    default:  // null; binary and discarded values never come out of the parser
      break;
  }
  nodes[at].end = static_cast<std::uint32_t>(nodes.size());
}

}  // namespace

void JsonTape::assign(const Json& value) {
  nodes_.clear();
  lay_out(value, {}, nodes_);
}

JsonView::Children JsonView::children() const {
  const JsonNode& n = node();
  if (n.kind != JsonKind::Array && n.kind != JsonKind::Object) return Children(tape_, index_ + 1, index_ + 1);
  return Children(tape_, index_ + 1, n.end);
}

bool JsonView::find(std::string_view key, JsonView& out) const {
  if (!is_object()) return false;
  bool found = false;
  for (JsonView member : children()) {
    if (member.key() == key) {
      out = member;
      found = true;
    }
  }
  return found;
}

std::vector<JsonView> JsonView::members_by_key() const {
  std::vector<JsonView> members;
  if (!is_object()) return members;
  for (JsonView member : children()) members.push_back(member);
  // Stable: of equal names the last written stays last, and is kept.
  std::stable_sort(members.begin(), members.end(),
                   [](const JsonView& a, const JsonView& b) { return a.key() < b.key(); });
  std::vector<JsonView> unique;
  unique.reserve(members.size());
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (i + 1 < members.size() && members[i + 1].key() == members[i].key()) continue;
    unique.push_back(members[i]);
  }
  return unique;
}

Json JsonView::held() const {
  const JsonNode& n = node();
  switch (n.kind) {
    case JsonKind::Null: return Json(nullptr);
    case JsonKind::Boolean: return Json(n.number.boolean);
    case JsonKind::Integer: return Json(static_cast<Json::number_integer_t>(n.number.integer));
    case JsonKind::Unsigned: return Json(static_cast<Json::number_unsigned_t>(n.number.unsigned_value));
    case JsonKind::Float: return Json(static_cast<Json::number_float_t>(n.number.float_value));
    case JsonKind::String: return Json(std::string(n.text()));
    case JsonKind::Array: {
      Json out = Json::array();
      auto& items = out.get_ref<Json::array_t&>();
      for (JsonView item : children()) items.push_back(item.held());
      return out;
    }
    case JsonKind::Object: {
      Json out = Json::object();
      auto& members = out.get_ref<Json::object_t&>();
      // A repeated name lands on the same member: the last one wins.
      for (JsonView member : children()) members[std::string(member.key())] = member.held();
      return out;
    }
  }
  return Json(nullptr);
}

}  // namespace vt
