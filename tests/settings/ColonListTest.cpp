#include "settings/ColonList.h"

#include <gtest/gtest.h>

// The pass's lists drop a trailing empty entry; the group filter keeps it.
TEST(ColonList, PassListsAndGroupFilter) {
    using L = std::vector<std::string>;
    struct Case {
        const char* text;
        L list;
        L filter;
    };
    const Case cases[] = {
        {"jpg:gif", {"jpg", "gif"}, {"jpg", "gif"}},
        {"jpg:", {"jpg"}, {"jpg", ""}},
        {":jpg", {"", "jpg"}, {"", "jpg"}},
        {"a::b", {"a", "", "b"}, {"a", "", "b"}},
        {"", {}, {""}},
        {"::", {"", ""}, {"", "", ""}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ng::SplitList(c.text), c.list) << c.text;
        EXPECT_EQ(ng::SplitGroupFilter(c.text), c.filter) << c.text;
    }
}
