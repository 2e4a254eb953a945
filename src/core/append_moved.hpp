// Moving one reader's results onto the end of a run's list: the whole vector
// when the list is still empty and has no room reserved for them, element by
// element otherwise (into the room a caller reserved for every part, so that
// joining parts moves each element once).
#pragma once

#include <iterator>
#include <vector>

namespace vt {

template <class T>
void append_moved(std::vector<T>& to, std::vector<T>&& from) {
  if (to.empty() && to.capacity() < from.size()) {
    to = std::move(from);
    return;
  }
  to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

}  // namespace vt
