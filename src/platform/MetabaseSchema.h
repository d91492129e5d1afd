#pragma once
// The schema of the emulated IIS 6 metabase: every class with its mandatory and
// optional properties, every property with its syntax, secure and inherit flags.
// The schema is fixed, as on a fresh IIS 6 server.

#include "platform/OleVariant.h"

#include <string_view>
#include <vector>

namespace orvex {

enum class TMetaSyntax { msString, msExpandSz, msBinary, msInteger, msBoolean, msList, msIPSec, msMimeMap, msNTAcl };

struct TPropertyDef {
    std::u16string_view Name;
    TMetaSyntax Syntax;
    bool Secure;   // the value is a secret (passwords)
    bool Inherit;  // children without their own value see the nearest ancestor's
};

struct TClassDef {
    std::u16string_view Name;
    bool Container;
    std::vector<std::u16string_view> Mandatory;
    std::vector<std::u16string_view> Optional;
};

// The syntax name as the schema object's "Syntax" gives it ("String", "ExpandSz",
// "Binary", "Integer", "Boolean", "List", "IPSec", "MimeMap", "NTAcl").
std::u16string_view SyntaxName(TMetaSyntax syntax);

// Lookups ignore case; nullptr when the schema has no such name.
const TPropertyDef* FindPropertyDef(std::u16string_view name);
const TClassDef* FindClassDef(std::u16string_view name);

const std::vector<TClassDef>& AllClassDefs();
const std::vector<TPropertyDef>& AllPropertyDefs();

// True when the class lists the property as mandatory or optional.
bool ClassHasProperty(const TClassDef& cls, std::u16string_view property);
// The property when the class lists it (ignoring case), else nullptr.
const TPropertyDef* FindClassPropertyDef(const TClassDef& cls, std::u16string_view property);
// The class's properties in the order of its lists, mandatory ones first, and the
// position of one there (size_t(-1) when the class does not list it).
const std::vector<const TPropertyDef*>& ClassPropertyDefs(const TClassDef& cls);
size_t ClassPropertyPosition(const TClassDef& cls, std::u16string_view property);

// The value "Get" gives for a property that neither the object nor an ancestor sets.
TOleVariant DefaultPropertyValue(const TPropertyDef& def);

// The value a "Put" of this syntax stores, or raises EOleSysError(hr::TypeMismatch)
// when value is not of a kind the syntax takes. Lists and binary data take arrays
// (an empty value or an empty text stands for no elements); binary elements are
// integers or decimal texts from 0 to 255 and are stored as integers.
TOleVariant NormalisePropertyValue(const TPropertyDef& def, const TOleVariant& value);

// The value "Get" hands out for a stored one: objects are fresh copies (IP security,
// MIME map entries, the ACL), everything else as stored.
TOleVariant PresentPropertyValue(const TPropertyDef& def, const TOleVariant& stored);

} // namespace orvex
