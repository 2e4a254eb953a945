// One event or diagnostic as a JSON object, members in record order and
// absent values as null. The JSON document and the JSON-lines timeline both
// render events through this, so a line and the document agree byte for byte.
#pragma once

#include "core/records.hpp"
#include "output/json_layout.hpp"
#include "output/writers.hpp"

namespace vt {

void put_event_object(JsonLayout& layout, const Event& event, EventExtras extras = {});
void put_diagnostic_object(JsonLayout& layout, const Diagnostic& diagnostic);

}  // namespace vt
