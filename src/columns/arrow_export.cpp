#include "columns/arrow_export.hpp"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace vt::columns {

namespace {

// A structure with its children and dictionary, each allocated here and
// released here unless a consumer moved it out (its release is then null).
template <class Structure>
void release_child(Structure* child) {
  if (child == nullptr) return;
  if (child->release != nullptr) child->release(child);
  delete child;
}

template <class Private>
void release_parts(Private& own) {
  for (auto* child : own.children) release_child(child);
  release_child(own.dictionary);
}

template <class Structure, class Private>
void release_tree(Structure* structure) {
  auto* own = static_cast<Private*>(structure->private_data);
  release_parts(*own);
  delete own;
  structure->release = nullptr;
}

// ------------------------------------------------------------------- schemas

struct SchemaPrivate {
  std::string format;
  std::string name;
  std::string metadata;  // the interface's binary layout; empty: none
  std::vector<ArrowSchema*> children;
  ArrowSchema* dictionary = nullptr;
};

void release_schema(ArrowSchema* schema) { release_tree<ArrowSchema, SchemaPrivate>(schema); }

void put_int32(std::string& out, std::size_t value) {
  const auto number = static_cast<std::int32_t>(value);
  char bytes[sizeof number];
  std::memcpy(bytes, &number, sizeof number);
  out.append(bytes, sizeof number);
}

// The pairs in the interface's layout: a count, then each key and value
// preceded by its length, all as native 32-bit integers.
std::string encode_metadata(const std::vector<std::pair<std::string, std::string>>& pairs) {
  if (pairs.empty()) return {};
  std::string out;
  put_int32(out, pairs.size());
  for (const auto& [key, value] : pairs) {
    put_int32(out, key.size());
    out += key;
    put_int32(out, value.size());
    out += value;
  }
  return out;
}

// Throws only std::bad_alloc; `out` is complete or untouched.
void fill_schema(const Field& field, ArrowSchema* out) {
  auto own = std::make_unique<SchemaPrivate>();
  own->format = field.format;
  own->name = field.name;
  own->metadata = encode_metadata(field.metadata);
  own->children.reserve(field.children.size());
  try {
    for (const Field& child : field.children) {
      own->children.push_back(nullptr);
      own->children.back() = new ArrowSchema{};
      fill_schema(child, own->children.back());
    }
    if (field.dictionary) {
      own->dictionary = new ArrowSchema{};
      fill_schema(*field.dictionary, own->dictionary);
    }
  } catch (...) {
    release_parts(*own);
    throw;
  }
  out->format = own->format.c_str();
  out->name = own->name.c_str();
  out->metadata = own->metadata.empty() ? nullptr : own->metadata.data();
  out->flags = field.nullable ? ARROW_FLAG_NULLABLE : 0;
  out->n_children = static_cast<std::int64_t>(own->children.size());
  out->children = own->children.empty() ? nullptr : own->children.data();
  out->dictionary = own->dictionary;
  out->release = release_schema;
  out->private_data = own.release();
}

// -------------------------------------------------------------------- arrays

struct ArrayPrivate {
  std::shared_ptr<const ColumnTable> table;  // owns every buffer pointed to
  std::vector<const void*> buffers;
  std::vector<ArrowArray*> children;
  ArrowArray* dictionary = nullptr;
};

void release_array(ArrowArray* array) { release_tree<ArrowArray, ArrayPrivate>(array); }

// Throws only std::bad_alloc; `out` is complete or untouched.
void fill_array(const std::shared_ptr<const ColumnTable>& table, const ArrayData& data, ArrowArray* out) {
  auto own = std::make_unique<ArrayPrivate>();
  own->table = table;
  own->buffers.reserve(data.buffers.size());
  for (const Buffer& buffer : data.buffers) own->buffers.push_back(buffer_address(buffer));
  own->children.reserve(data.children.size());
  try {
    for (const ArrayData& child : data.children) {
      own->children.push_back(nullptr);
      own->children.back() = new ArrowArray{};
      fill_array(table, child, own->children.back());
    }
    if (data.dictionary) {
      own->dictionary = new ArrowArray{};
      fill_array(table, *data.dictionary, own->dictionary);
    }
  } catch (...) {
    release_parts(*own);
    throw;
  }
  out->length = data.length;
  out->null_count = data.null_count;
  out->offset = 0;
  out->n_buffers = static_cast<std::int64_t>(own->buffers.size());
  out->n_children = static_cast<std::int64_t>(own->children.size());
  out->buffers = own->buffers.empty() ? nullptr : own->buffers.data();
  out->children = own->children.empty() ? nullptr : own->children.data();
  out->dictionary = own->dictionary;
  out->release = release_array;
  out->private_data = own.release();
}

// ------------------------------------------------------------------- streams

struct StreamPrivate {
  std::shared_ptr<const ColumnTable> table;
  std::size_t next = 0;
  const char* last_error = nullptr;  // a static text
};

int stream_get_schema(ArrowArrayStream* stream, ArrowSchema* out) {
  auto* own = static_cast<StreamPrivate*>(stream->private_data);
  if (export_schema(own->table->schema, out)) return 0;
  own->last_error = "out of memory exporting the schema";
  return ENOMEM;
}

int stream_get_next(ArrowArrayStream* stream, ArrowArray* out) {
  auto* own = static_cast<StreamPrivate*>(stream->private_data);
  if (own->next == own->table->batches.size()) {
    *out = ArrowArray{};  // released: the end of the stream
    return 0;
  }
  try {
    fill_array(own->table, own->table->batches[own->next], out);
  } catch (...) {
    own->last_error = "out of memory exporting a batch";
    return ENOMEM;
  }
  ++own->next;
  return 0;
}

const char* stream_last_error(ArrowArrayStream* stream) {
  auto* own = static_cast<StreamPrivate*>(stream->private_data);
  return own->last_error;
}

void stream_release(ArrowArrayStream* stream) {
  delete static_cast<StreamPrivate*>(stream->private_data);
  stream->release = nullptr;
}

}  // namespace

bool export_schema(const Field& field, ArrowSchema* out) noexcept {
  try {
    fill_schema(field, out);
    return true;
  } catch (...) {
    return false;
  }
}

bool export_stream(std::shared_ptr<const ColumnTable> table, ArrowArrayStream* out) noexcept {
  StreamPrivate* own = nullptr;
  try {
    own = new StreamPrivate{std::move(table), 0, nullptr};
  } catch (...) {
    return false;
  }
  out->get_schema = stream_get_schema;
  out->get_next = stream_get_next;
  out->get_last_error = stream_last_error;
  out->release = stream_release;
  out->private_data = own;
  return true;
}

}  // namespace vt::columns
