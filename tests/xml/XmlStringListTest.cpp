#include "xml/XmlStringList.h"

#include <gtest/gtest.h>

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
