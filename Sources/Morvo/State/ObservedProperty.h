#pragma once
// The setter of an observed property of a state object: stores the value and notifies, but only
// when it differs, so that assigning the current value again wakes no observer.
//
//   void InventoryState::setQuery(const std::string& value) {
//       assignObserved(this, query_, value, &InventoryState::queryChanged);
//   }

#include <utility>

namespace morvo {

// Returns whether the value changed (and `changed` was emitted).
template <class Owner, class Field, class Value>
bool assignObserved(Owner* owner, Field& field, Value&& value, void (Owner::*changed)()) {
    if (field == value) return false;
    field = std::forward<Value>(value);
    (owner->*changed)();
    return true;
}

} // namespace morvo
