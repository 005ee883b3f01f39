#include "store/GroupCategories.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

using ng::GroupCategories;
using Lines = std::vector<std::string>;

TEST(GroupCategories, LoadGivesHeaderNamesInFileOrder) {
    GroupCategories categories;
    Lines file{"stray.group", "[b]", "b.one", "", "[]", "", "[no-bracket", "x", "", "[", "[a]"};
    EXPECT_EQ(categories.LoadLines(file), (Lines{"b", "", "no-bracke", "", "a"}));
    EXPECT_EQ(categories.Lines(), file);  // every line is kept as it was
}

TEST(GroupCategories, ApplyFindsTheFirstBlockOrNothing) {
    GroupCategories categories;
    categories.LoadLines({"pre.group", "[pics]", "a.one", "a.two", "", "[pics]", "other", "",
                          "[empty]", "", "[tight]", "t.one", "[next]", "n.one"});
    EXPECT_EQ(categories.Apply("pics"), (Lines{"a.one", "a.two"}));
    EXPECT_EQ(categories.Apply("empty"), Lines{});
    // A block written by hand without its empty line ends at the next header.
    EXPECT_EQ(categories.Apply("tight"), Lines{"t.one"});
    EXPECT_EQ(categories.Apply("next"), Lines{"n.one"});  // ends with the lines
    // No such header: "not found", so the caller keeps its active groups.
    EXPECT_EQ(categories.Apply("missing"), std::nullopt);
    EXPECT_EQ(categories.Apply("PICS"), std::nullopt);  // names are case-sensitive
    EXPECT_EQ(categories.Apply(""), std::nullopt);
}

TEST(GroupCategories, AddAppendsABlock) {
    GroupCategories categories;
    categories.Add("first", {"g.one", "g.two"});
    EXPECT_EQ(categories.Lines(), (Lines{"[first]", "g.one", "g.two", ""}));

    // An empty name and an empty group list are allowed; so is a second
    // block of the same name, which Apply never reaches.
    categories.Add("", {});
    categories.Add("first", {"g.three"});
    EXPECT_EQ(categories.Apply(""), Lines{});
    EXPECT_EQ(categories.Apply("first"), (Lines{"g.one", "g.two"}));

    // A file whose last block lacks its empty line gets one before the new block.
    GroupCategories loaded;
    loaded.LoadLines({"[old]", "o.one"});
    loaded.Add("new", {"n.one"});
    EXPECT_EQ(loaded.Lines(), (Lines{"[old]", "o.one", "", "[new]", "n.one", ""}));

    // Entries the file cannot hold as group names would end the block early
    // or start a false category: they are left out, the rest is kept.
    GroupCategories odd;
    odd.Add("mixed", {"a.one", "", "[fake]", "a.two"});
    EXPECT_EQ(odd.Apply("mixed"), (Lines{"a.one", "a.two"}));
    EXPECT_EQ(odd.Apply("fake"), std::nullopt);
}

TEST(GroupCategories, UpdateReplacesEveryBlockOfTheOldName) {
    GroupCategories categories;
    categories.LoadLines(
        {"pre.group", "[a]", "a.one", "", "[b]", "b.one", "", "[a]", "a.dup", "", "[c]", "c.one"});
    categories.Update("a", "a", {"a.new"});
    EXPECT_EQ(categories.Lines(),
              (Lines{"pre.group", "[b]", "b.one", "", "[c]", "c.one", "", "[a]", "a.new", ""}));

    // A name typed before Update stores the block under the new name; the
    // old name then finds nothing.
    categories.Update("b", "renamed", {"r.one", "r.two"});
    EXPECT_EQ(categories.Apply("b"), std::nullopt);
    EXPECT_EQ(categories.Apply("renamed"), (Lines{"r.one", "r.two"}));
    EXPECT_EQ(categories.Apply("c"), Lines{"c.one"});
    EXPECT_EQ(categories.Lines().front(), "pre.group");

    // Updating a name that has no block just adds one.
    GroupCategories empty;
    empty.Update("gone", "fresh", {"f.one"});
    EXPECT_EQ(empty.Lines(), (Lines{"[fresh]", "f.one", ""}));
}

TEST(GroupCategories, DeleteDropsTheBlocksAndTheLeadingLines) {
    GroupCategories categories;
    categories.LoadLines(
        {"pre.group", "", "[a]", "a.one", "", "[b]", "b.one", "", "[a]", "a.dup", ""});
    categories.Delete("a");
    EXPECT_EQ(categories.Lines(), (Lines{"[b]", "b.one", ""}));
    categories.Delete("missing");
    EXPECT_EQ(categories.Lines(), (Lines{"[b]", "b.one", ""}));
    categories.Delete("b");
    EXPECT_TRUE(categories.Empty());
}

TEST(GroupCategories, SaveWritesOnlyWhenThereAreLines) {
    ngtest::TempDir dir;
    ngtest::ScopedChdir here(dir.Path());
    ngtest::WriteFile("GroupCat.h", "[a]\r\na.one\r\n\r\n[b]\r\nb.one\r\n\r\n");

    GroupCategories categories;
    EXPECT_EQ(categories.LoadCategories("h"), (Lines{"a", "b"}));
    categories.Add("c", {"c.one"});
    ASSERT_TRUE(categories.SaveCategories("h"));
    EXPECT_TRUE(categories.Empty());
    EXPECT_EQ(ngtest::ReadFile("GroupCat.h"), "[a]\na.one\n\n[b]\nb.one\n\n[c]\nc.one\n\n");

    // All categories deleted: the file is not rewritten and keeps them.
    GroupCategories deleted;
    for (const auto& name : deleted.LoadCategories("h")) {
        deleted.Delete(name);
    }
    EXPECT_TRUE(deleted.Empty());
    EXPECT_FALSE(deleted.SaveCategories("h"));
    EXPECT_EQ(GroupCategories().LoadCategories("h"), (Lines{"a", "b", "c"}));

    // No host: nothing read, nothing written.
    GroupCategories noHost;
    EXPECT_TRUE(noHost.LoadCategories("").empty());
    noHost.Add("x", {"x.one"});
    EXPECT_FALSE(noHost.SaveCategories(""));
    EXPECT_FALSE(noHost.Empty());
    EXPECT_TRUE(GroupCategories().LoadCategories("missing").empty());
}
