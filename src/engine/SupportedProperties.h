#pragma once
// The supported-property table: per metabase class, the property ids that a
// restore may write and the property lists show. Filled once at start-up from the
// file "SupportedProperty.xml" beside the executable, or else the built-in list.

#include "platform/Metabase.h"

#include <array>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace orvex {

// Ids in source order without duplicates; lookups ignore case.
class TSupportedPropertyList {
public:
    void Clear();
    // Appends id unless it is empty or held already (ignoring case); true when added.
    bool Add(std::u16string_view id);
    bool Contains(std::u16string_view id) const;
    const std::vector<std::u16string>& Ids() const { return FIds; }

private:
    std::vector<std::u16string> FIds;
    // The ids again, looked up ignoring case without a folded copy: a restore asks
    // for every property it writes.
    std::unordered_set<std::u16string, TFoldedNameHash, TFoldedNameEqual> FLookup;
};

struct TSupportedPropertyEntry {
    std::u16string ClassName;
    TSupportedPropertyList Properties;
};

// The eleven classes in table order.
inline constexpr std::array<std::u16string_view, 11> SupportedPropertyClasses = {
    u"IIsWebService", u"IIsWebInfo", u"IIsFilters", u"IIsFilter", u"IIsWebServer", u"IIsWebVirtualDir",
    u"IIsWebDirectory", u"Pop3Svc", u"ServiceExtensions", u"IIsApplicationPools", u"IIsApplicationPool"};

// Empty until InitSupportedPropertyTable ran.
const std::vector<TSupportedPropertyEntry>& SupportedPropertyTable();

// Fills the table. A "SupportedProperty.xml" beside the executable that cannot be
// read leaves the built-in list in use and gives a message naming the file;
// otherwise the result is empty. The built-in list itself is part of the program.
[[nodiscard]] std::u16string InitSupportedPropertyTable();

// Fills the table from the list in this XML text (tests, and the file above).
// Raises the XML library's error when the text cannot be parsed; the table is then
// left as it was.
void FillSupportedPropertyTable(std::string_view xmlText);

// Refills list with the ids of one class from the current list source; a class
// the source lacks gives an empty list.
void LoadSupportedProperties(TSupportedPropertyList& list, std::u16string_view className);

// True when the first table entry of that class (ignoring case) holds id (ignoring
// case). A class outside the table supports nothing.
bool IsSupportedProperty(std::u16string_view className, std::u16string_view id);
// The ids of the first table entry of that class (ignoring case), or nullptr.
const TSupportedPropertyList* SupportedPropertiesOf(std::u16string_view className);

} // namespace orvex
