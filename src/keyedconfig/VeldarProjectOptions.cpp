#include "keyedconfig/VeldarProjectOptions.h"

#include <unordered_set>

namespace orvex {

TComponent* TopOwner(TComponent* component) {
    // The visited set keeps a mis-built cyclic chain from hanging the caller.
    std::unordered_set<const TComponent*> seen;
    while (component && component->Owner() && seen.insert(component).second)
        component = component->Owner();
    return component;
}

} // namespace orvex
