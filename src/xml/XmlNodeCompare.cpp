// Comparison and sorting of nodes.
#include "xml/XmlNode.h"

#include "xml/UTF8StringUtils.h"

namespace orvex {

bool TUtf8XmlNode::IsEqualTo(const TUtf8XmlNode* other, TXmlCompareOptions options,
                             TUtf8XmlNodeList* mismatches) const {
    if (!other)
        return false;
    auto self = const_cast<TUtf8XmlNode*>(this);

    bool childrenEqual = true;
    if (options & (xcChildNames | xcChildValues | xcRecursive)) {
        for (int i = 0; i < FNodeCount; ++i) {
            TUtf8XmlNode* child = FNodes[i];
            const TUtf8XmlNode* match = other->Nodes(other->NodeIndexByName(child->FName));
            if (match) {
                if ((options & xcChildValues) &&
                    Utf8CompareText(match->ValueAsString(), child->ValueAsString()) != 0) {
                    if (mismatches)
                        mismatches->Add(child);
                    childrenEqual = false;
                }
                if ((options & xcRecursive) && !child->IsEqualTo(match, options, mismatches))
                    childrenEqual = false;
            } else if (options & xcChildNames) {
                if (mismatches)
                    mismatches->Add(child);
                childrenEqual = false;
            }
        }
    }

    auto selfEqual = [&] {
        if ((options & xcNodeName) && Utf8CompareText(FName, other->FName) != 0)
            return false;
        if ((options & xcNodeType) && FElementType != other->FElementType)
            return false;
        if ((options & xcNodeValue) && Utf8CompareText(ValueAsString(), other->ValueAsString()) != 0)
            return false;
        if ((options & xcAttribCount) && AttributeCount() != other->AttributeCount())
            return false;
        if (options & (xcAttribNames | xcAttribValues)) {
            for (int i = 0; i < AttributeCount(); ++i) {
                const int j = other->AttributeIndexByName(AttributeName(i));
                if (j < 0) {
                    if (options & xcAttribNames)
                        return false;
                } else if ((options & xcAttribValues) &&
                           Utf8CompareText(other->AttributeValue(j), AttributeValue(i)) != 0) {
                    return false;
                }
            }
        }
        if ((options & xcChildCount) && NodeCount() != other->NodeCount())
            return false;
        return true;
    }();
    if (!selfEqual && mismatches)
        mismatches->Insert(0, self);
    return childrenEqual && selfEqual;
}

int TUtf8XmlNode::CompareChildren(int i, int j, TXmlNodeCompareFunction compare, void* info) {
    TUtf8XmlNode* a = Nodes(i);
    TUtf8XmlNode* b = Nodes(j);
    if (compare)
        return compare(a, b, info);
    int result = 0;
    if (FDocument && FDocument->CompareNodes(a, b, info, result))
        return result;
    return Utf8CompareText(a->FName, b->FName);
}

void TUtf8XmlNode::QuickSort(int left, int right, TXmlNodeCompareFunction compare, void* info) {
    // Hoare partition around the pivot's index, which follows its node on exchanges.
    int i = left;
    int j = right;
    int pivot = (left + right) / 2;
    do {
        while (CompareChildren(i, pivot, compare, info) < 0)
            ++i;
        while (CompareChildren(j, pivot, compare, info) > 0)
            --j;
        if (i <= j) {
            NodeExchange(i, j);
            if (pivot == i)
                pivot = j;
            else if (pivot == j)
                pivot = i;
            ++i;
            --j;
        }
    } while (i <= j);
    if (left < j)
        QuickSort(left, j, compare, info);
    if (i < right)
        QuickSort(i, right, compare, info);
}

void TUtf8XmlNode::SortChildNodes(TXmlNodeCompareFunction compare, void* info) {
    if (NodeCount() > 1)
        QuickSort(0, NodeCount() - 1, compare, info);
}

} // namespace orvex
