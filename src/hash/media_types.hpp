// Media types guessed from file name extensions, from one fixed table so that
// the guess never depends on the machine a run happens on.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace vt {

// The media type of a lower-case extension (without its dot), if the table has it.
std::optional<std::string_view> media_type_for_extension(std::string_view lower_extension);

// Number of extensions the table knows.
std::size_t media_type_rows();

}  // namespace vt
