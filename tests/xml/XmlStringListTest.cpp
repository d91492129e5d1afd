#include "xml/XmlStringList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace orvex;

TEST(AttributeStorage, NamesValuesAndLookups) {
    TxmUTF8StringList list;
    EXPECT_EQ(list.Add("A=1"), 0);
    EXPECT_EQ(list.Add("ab=2"), 1);
    EXPECT_EQ(list.Add("plain"), 2);
    EXPECT_EQ(list.IndexOfName("a"), 0); // ASCII case ignored
    EXPECT_EQ(list.IndexOfName("ab"), 1);
    EXPECT_EQ(list.IndexOfName("plain"), -1);
    EXPECT_EQ(list.Names(1), "ab");
    EXPECT_EQ(list.Names(2), "");
    EXPECT_EQ(list.Values("AB"), "2");
    EXPECT_EQ(list.Values("x"), "");
    EXPECT_EQ(list.Items(3), "");
    EXPECT_EQ(list.Items(-1), "");
    EXPECT_EQ(list.Text(), "A=1\r\nab=2\r\nplain\r\n");

    list.SetValues("ab", "9");
    EXPECT_EQ(list.Items(1), "ab=9");
    list.SetValues("new", "x");
    EXPECT_EQ(list.Items(3), "new=x");
    list.SetValues("A", "");
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Items(0), "ab=9");
    list.SetValues("absent", ""); // nothing to delete
    EXPECT_EQ(list.Count(), 3);
}

TEST(AttributeStorage, OutOfRangeIsIgnored) {
    TxmUTF8StringList list;
    list.Add("a=1");
    list.Delete(1);
    list.Delete(-1);
    list.SetItems(5, "x");
    list.Exchange(0, 3);
    EXPECT_EQ(list.Count(), 1);
    list.Add("b=2");
    list.Exchange(0, 1);
    EXPECT_EQ(list.Items(0), "b=2");
    TxmUTF8StringList copy;
    copy.Add("z");
    copy.Assign(list);
    EXPECT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy.Items(1), "a=1");
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(copy.Count(), 2);
}

// Lists built item by item and lists a parse put in pages, against a plain model,
// through every kind of change.
TEST(AttributeStorage, BuiltAndParsedListsBehaveAlike) {
    TXmlPages pages;
    for (int count = 0; count <= 9; ++count) {
        std::vector<std::string> model;
        TxmUTF8StringList list;
        for (int i = 0; i < count; ++i)
            model.push_back(std::string("a").append(std::to_string(i)).append("=\"a value long enough\""));
        if (count % 2) {
            // As a parse keeps them: one copy of the tag's text, blanks between.
            std::string tag;
            for (const std::string& item : model)
                tag.append(tag.empty() ? "" : " \t").append(item);
            std::vector<TxmUTF8StringList::TSpan> items;
            for (size_t at = 0, i = 0; i < model.size(); at += model[i].size() + 2, ++i)
                items.push_back({static_cast<uint32_t>(at), static_cast<uint32_t>(model[i].size())});
            list.AssignIn(pages, tag, items.data(), count);
            tag.assign(tag.size(), '#'); // the list holds its own copy
        } else {
            for (int i = 0; i < count; ++i)
                EXPECT_EQ(list.Add(model[static_cast<size_t>(i)]), i);
        }
        const auto expectModel = [&](const TxmUTF8StringList& got, const std::vector<std::string>& want) {
            ASSERT_EQ(got.Count(), static_cast<int>(want.size())) << count;
            for (size_t i = 0; i < want.size(); ++i)
                EXPECT_EQ(got.Items(static_cast<int>(i)), want[i]) << count;
            EXPECT_EQ(got.Items(static_cast<int>(want.size())), "");
        };
        expectModel(list, model);
        TxmUTF8StringList copy;
        copy.Add("old");
        copy.Assign(list);
        expectModel(copy, model);
        if (count >= 2) {
            list.Exchange(0, count - 1);
            std::swap(model.front(), model.back());
            expectModel(list, model);
        }
        for (int index = count - 1; index >= 0; index -= 2) {
            list.Delete(index);
            model.erase(model.begin() + index);
            expectModel(list, model);
        }
        list.Add("tail=1");
        model.push_back("tail=1");
        expectModel(list, model);
        EXPECT_EQ(list.IndexOfName("TAIL"), static_cast<int>(model.size()) - 1);
        list.Clear();
        expectModel(list, {});
    }
}
