#include "engine/SupportedProperties.h"

#include "engine/EngineText.h"

namespace orvex {

namespace {
std::vector<TSupportedPropertyEntry> Table;
} // namespace

void TSupportedPropertyList::Clear() {
    FIds.clear();
    FFolded.clear();
}

bool TSupportedPropertyList::Add(std::u16string_view id) {
    if (id.empty() || !FFolded.insert(AsciiLowerCase(id)).second) return false;
    FIds.emplace_back(id);
    return true;
}

bool TSupportedPropertyList::Contains(std::u16string_view id) const {
    return FFolded.count(AsciiLowerCase(id)) != 0;
}

const std::vector<TSupportedPropertyEntry>& SupportedPropertyTable() { return Table; }

bool IsSupportedProperty(std::u16string_view className, std::u16string_view id) {
    for (const auto& entry : Table)
        if (SameAsciiText(entry.ClassName, className)) return entry.Properties.Contains(id);
    return false;
}

} // namespace orvex
