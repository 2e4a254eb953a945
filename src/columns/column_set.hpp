// A table's columns declared once each (name, builder, how a record fills
// it) and the loop that turns a vector of records into record batches. The
// records are consumed on the way: each block of rows is emptied as soon as
// its cells are in the columns, so the records and the columns are not both
// held whole. Each batch's text columns are sized from the bytes they will
// hold before they are filled; with several threads, the columns of a block
// are filled side by side (each column by one thread at a time, in row
// order), and a block is emptied while the next is filled.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "columns/column_builders.hpp"
#include "columns/column_data.hpp"
#include "core/parallel_files.hpp"
#include "core/parse_error.hpp"

namespace vt::columns {

// Rows per record batch.
inline constexpr std::size_t kBatchRows = 64 * 1024;

template <class Record>
class Column {
 public:
  virtual ~Column() = default;
  virtual const Field& field() const = 0;
  virtual void append(std::span<const Record> rows) = 0;
  // Room for the cells of `rows` (the rows of the next batch).
  virtual void reserve(std::span<const Record> rows) = 0;
  virtual ArrayData finish_batch() = 0;
  // Completes this column's array in every batch (a dictionary-encoded
  // column attaches the dictionary they all share).
  virtual void finish_table(std::span<ArrayData* const> arrays) = 0;
};

template <class Record, class Builder, class Fill>
class ColumnOf final : public Column<Record> {
 public:
  ColumnOf(Field field, Builder builder, Fill fill)
      : field_(std::move(field)), builder_(std::move(builder)), fill_(std::move(fill)) {}

  const Field& field() const override { return field_; }
  void append(std::span<const Record> rows) override {
    for (const Record& row : rows) fill_(row, builder_);
  }
  void reserve(std::span<const Record> rows) override {
    if constexpr (std::is_same_v<Builder, TextColumn>) {
      TextColumn sizer = TextColumn::measuring();
      for (const Record& row : rows) fill_(row, sizer);
      builder_.reserve(rows.size(), sizer.measured());
    } else if constexpr (requires { builder_.reserve(rows.size()); }) {
      builder_.reserve(rows.size());
    }
  }
  ArrayData finish_batch() override { return builder_.finish(); }
  void finish_table(std::span<ArrayData* const> arrays) override {
    if constexpr (requires { builder_.finish_dictionary(); }) {
      std::shared_ptr<const ArrayData> dictionary = builder_.finish_dictionary();
      for (ArrayData* array : arrays) array->dictionary = dictionary;
    }
  }

 private:
  Field field_;
  Builder builder_;
  Fill fill_;
};

template <class Record>
class ColumnSet {
 public:
  // A column named `name` built by `builder`; `fill(record, builder)`
  // appends one record's cell.
  template <class Builder, class Fill>
  void add(std::string name, Builder builder, Fill fill, bool nullable = true) {
    Field field = Builder::field(std::move(name), nullable);
    columns_.push_back(std::make_unique<ColumnOf<Record, Builder, Fill>>(
        std::move(field), std::move(builder), std::move(fill)));
  }
  template <class Builder, class Fill>
  void add(std::string name, Fill fill, bool nullable = true) {
    add(std::move(name), Builder(), std::move(fill), nullable);
  }

  // Every record as rows of a table, in batches of `batch_rows`, on up to
  // `threads` threads; `records` is left holding empty records. Ends early
  // (interrupted) when `cancel` is set.
  Result<ColumnTable> build(std::vector<Record>& records, std::vector<std::pair<std::string, std::string>> metadata,
                            std::size_t batch_rows, const std::atomic<bool>* cancel, unsigned threads = 1) {
    ColumnTable table;
    table.schema = Field{"", "+s", false, std::move(metadata), {}, nullptr};
    for (const auto& column : columns_) table.schema.children.push_back(column->field());

    // Rows go in by blocks small enough to stay in cache while every column
    // takes its cells from them (larger ones when threads share the columns
    // of a block, so that starting them stays cheap).
    const std::size_t block_rows = threads > 1 ? 4096 : 256;
    const auto empty = [&records](std::size_t first, std::size_t last) {
      for (std::size_t i = first; i < last; ++i) records[i] = Record{};
    };
    for (std::size_t batch = 0; batch < records.size(); batch += batch_rows) {
      const std::size_t batch_end = std::min(records.size(), batch + batch_rows);
      const std::span<const Record> batch_records(records.data() + batch, batch_end - batch);
      for_each_index(columns_.size(), threads, [&](std::size_t c) {
        columns_[c]->reserve(batch_records);
        return true;
      });
      std::size_t emptied = batch;  // records before this are emptied
      for (std::size_t start = batch; start < batch_end; start += block_rows) {
        const std::span<const Record> rows(records.data() + start, std::min(block_rows, batch_end - start));
        if (threads <= 1) {
          for (const auto& column : columns_) column->append(rows);
          empty(start, start + rows.size());
          emptied = start + rows.size();
          continue;
        }
        // The columns of this block, and the emptying of the one before in
        // `threads` parts, as one set of tasks.
        const std::size_t parts = start > emptied ? threads : 0;
        const std::size_t before = emptied, per_part = (start - emptied + threads - 1) / threads;
        for_each_index(columns_.size() + parts, threads, [&](std::size_t task) {
          if (task < parts) {
            empty(std::min(start, before + task * per_part), std::min(start, before + (task + 1) * per_part));
          } else {
            columns_[task - parts]->append(rows);
          }
          return true;
        });
        emptied = start;
      }
      empty(emptied, batch_end);
      if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return fail(ParseError::interrupted());
      table.batches.push_back(finish_batch(batch_end - batch));
    }
    std::vector<ArrayData*> arrays(table.batches.size());
    for (std::size_t c = 0; c < columns_.size(); ++c) {
      for (std::size_t b = 0; b < table.batches.size(); ++b) arrays[b] = &table.batches[b].children[c];
      columns_[c]->finish_table(arrays);
    }
    return table;
  }

 private:
  ArrayData finish_batch(std::size_t rows) {
    ArrayData batch;
    batch.length = static_cast<std::int64_t>(rows);
    batch.buffers.push_back(Buffer());
    for (const auto& column : columns_) batch.children.push_back(column->finish_batch());
    return batch;
  }

  std::vector<std::unique_ptr<Column<Record>>> columns_;
};

}  // namespace vt::columns
