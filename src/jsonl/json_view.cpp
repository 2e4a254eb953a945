#include "jsonl/json_view.hpp"

#include <algorithm>
#include <new>

namespace vt {

namespace {

std::size_t count_nodes(const Json& value) {
  std::size_t count = 1;
  if (value.is_array()) {
    for (const Json& item : value.get_ref<const Json::array_t&>()) count += count_nodes(item);
  } else if (value.is_object()) {
    for (const auto& member : value.get_ref<const Json::object_t&>()) count += count_nodes(member.second);
  }
  return count;
}

void lay_out(const Json& value, std::string_view key, JsonNode* nodes, std::size_t& size) {
  const std::size_t at = size++;
  JsonNode& node = nodes[at];
  node.number.unsigned_value = 0;
  node.key_data = key.data();
  node.key_size = key.size();
  node.text_size = 0;
  node.kind = JsonKind::Null;
  switch (value.type()) {
    case Json::value_t::boolean:
      node.kind = JsonKind::Boolean;
      node.number.boolean = value.get<bool>();
      break;
    case Json::value_t::number_integer:
      node.kind = JsonKind::Integer;
      node.number.integer = value.get<std::int64_t>();
      break;
    case Json::value_t::number_unsigned:
      node.kind = JsonKind::Unsigned;
      node.number.unsigned_value = value.get<std::uint64_t>();
      break;
    case Json::value_t::number_float:
      node.kind = JsonKind::Float;
      node.number.float_value = value.get<double>();
      break;
    case Json::value_t::string:
      node.kind = JsonKind::String;
      node.set_text(value.get_ref<const Json::string_t&>());
      break;
    case Json::value_t::array:
      node.kind = JsonKind::Array;
      for (const Json& item : value.get_ref<const Json::array_t&>()) lay_out(item, {}, nodes, size);
      break;
    case Json::value_t::object:
      node.kind = JsonKind::Object;
      for (const auto& [name, member] : value.get_ref<const Json::object_t&>()) lay_out(member, name, nodes, size);
      break;
    default:  // null; binary and discarded values never come out of the parser
      break;
  }
  nodes[at].end = static_cast<std::uint32_t>(size);
}

}  // namespace

JsonNode* JsonTape::start(std::size_t count) {
  size_ = 0;
  if (count > capacity_) {
    nodes_.reset();
    capacity_ = 0;
    // Not initialised: pages of room never written cost no memory.
    nodes_.reset(new (std::nothrow) JsonNode[count]);
    if (!nodes_) return nullptr;
    capacity_ = count;
  }
  return nodes_.get();
}

void JsonTape::assign(const Json& value) {
  JsonNode* nodes = start(count_nodes(value));
  if (nodes == nullptr) throw std::bad_alloc();
  std::size_t size = 0;
  lay_out(value, {}, nodes, size);
  size_ = size;
}

JsonView::Children JsonView::children() const {
  const JsonNode& n = node();
  if (n.kind != JsonKind::Array && n.kind != JsonKind::Object) return Children(tape_, index_ + 1, index_ + 1);
  return Children(tape_, index_ + 1, n.end);
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
