#pragma once
// The restore of the checked part of one backup into the metabase of a machine.

#include "engine/RestoreChecks.h"
#include "engine/RestoreTree.h"
#include "platform/OleVariant.h"
#include "xml/WideXmlNode.h"

#include <string>
#include <string_view>
#include <vector>

namespace orvex {

// Refuses more than one checked backup (the "restoremachinecount" warning), refuses
// elements that would reach keys outside their place (CheckRestoreSelection),
// settles site conflicts (CheckSites) and restores the selected backup from
// BackupFileName: the checked top-level node's own `Machine` element, by position.
// The machine stays locked for the whole restore. Every failure is logged in red;
// one of the machine's own files ends the restore. Nothing is thrown.
void RestoreMachine(std::u16string_view machine, std::u16string_view iisVersion, const TRestoreTree& tree);

// Restores element (a `Machine` or `SubDir`) as node shows it: opens or creates the
// object, writes its properties when they are selected, then its checked children.
// skipList (identifiers of sites to leave out) applies to the children of the
// `Machine` element only; a matching line is removed as its site is skipped.
// Refused nodes (CheckRestoreSelection) are left out with their subtrees.
void RestoreDirectory(std::u16string_view machine, std::u16string_view iisVersion, const TWideXmlNode& element,
                      std::vector<std::u16string>* skipList, const TTreeNode& node,
                      const TRefusedNodes* refused = nullptr);

// RestoreProperty for every `Property` child of element, in document order.
void RestoreProperties(const TOleVariant& object, const TWideXmlNode& element);

// Writes one supported `Property` element to the object ("Put" and "SetInfo"),
// checking binding addresses against the local machine. Failures are logged.
void RestoreProperty(const TOleVariant& object, const TWideXmlNode& property);

// Registers the checked web service extension files of element on the web service.
void RestoreServiceExtensions(std::u16string_view machine, std::u16string_view iisVersion,
                              const TWideXmlNode& element, const TTreeNode& node);

// The `value` of element's `Property` child with this id (ignoring case); raises
// when there is none.
std::u16string PropertyValueOf(const TWideXmlNode& element, std::u16string_view id);

} // namespace orvex
