// The group list files and the category file, read from arbitrary bytes and
// edited: the readers see the file's lines as they are, a category's groups
// are the lines of its block, the editing keeps the block rules, and a list
// written and read back is the list.

#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platform/TextFile.h"
#include "store/GroupCategories.h"
#include "store/GroupFiles.h"

using ng::GroupCategories;

namespace {

const std::string kHost = "news.example";

// A line written ends in LF, and a CR before the LF is taken as part of the
// line end when it is read; so a line's own last CR does not come back.
std::vector<std::string> AsReadBack(std::vector<std::string> lines) {
    for (auto& line : lines) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
    }
    return lines;
}

// Active groups come without the blanks and tabs around them.
std::vector<std::string> Trimmed(std::vector<std::string> lines) {
    for (std::string& line : lines) {
        const size_t first = line.find_first_not_of(" \t");
        line = first == std::string::npos
                   ? std::string()
                   : line.substr(first, line.find_last_not_of(" \t") - first + 1);
    }
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzzsupport::ScratchDir scratch;
    static bool entered = ::chdir(scratch.Path().c_str()) == 0;
    FUZZ_CHECK(entered);

    FuzzedDataProvider input(data, size);
    std::string name = input.ConsumeRandomLengthString(20);
    std::erase(name, '\n');
    std::vector<std::string> active;
    for (int i = input.ConsumeIntegralInRange(0, 4); i > 0; --i) {
        // Group names come from lines: they never hold a line feed.
        std::string group = input.ConsumeRandomLengthString(20);
        std::erase(group, '\n');
        active.push_back(group);
    }
    const std::string text = input.ConsumeRemainingBytesAsString();
    const std::vector<std::string> lines = ng::SplitTextLines(text);

    fuzzsupport::WriteAll(ng::ActiveGroupsFileName(kHost), text);
    fuzzsupport::WriteAll(ng::AllGroupsFileName(kHost), text);
    fuzzsupport::WriteAll(ng::CategoryFileName(kHost), text);

    std::vector<std::string> read;
    FUZZ_CHECK(ng::ReadActiveGroups(kHost, read));
    FUZZ_CHECK(read == Trimmed(lines));
    int count = ng::CountActiveGroups(kHost, "list", nullptr);
    FUZZ_CHECK(count == static_cast<int>(lines.size()));
    FUZZ_CHECK(ng::ReadAllGroups(kHost, read));
    std::vector<std::string> nonEmpty = lines;
    std::erase_if(nonEmpty, [](const std::string& line) { return line.empty(); });
    FUZZ_CHECK(read == nonEmpty);

    GroupCategories categories;
    std::vector<std::string> names = categories.LoadCategories(kHost);
    FUZZ_CHECK(categories.Lines() == lines);
    for (const std::string& category : names) {
        // A header whose last character is not ']' names a category that
        // cannot be chosen: its name makes a different header.
        auto groups = categories.Apply(category);
        FUZZ_CHECK(groups.has_value() == Contains(lines, GroupCategories::HeaderOf(category)));
        if (!groups) {
            continue;
        }
        for (const std::string& group : *groups) {
            FUZZ_CHECK(!group.empty() && !GroupCategories::IsHeader(group));
            FUZZ_CHECK(Contains(lines, group));
        }
    }

    // Editing as the group select dialog does it.
    const std::string header = GroupCategories::HeaderOf(name);
    const bool hadBlock = Contains(lines, header);
    categories.Add(name, active);
    auto applied = categories.Apply(name);
    FUZZ_CHECK(applied.has_value());
    if (!hadBlock) {
        std::vector<std::string> kept = active;
        std::erase_if(kept, [](const std::string& group) {
            return group.empty() || GroupCategories::IsHeader(group);
        });
        FUZZ_CHECK(*applied == kept);
    }
    categories.Delete(name);
    FUZZ_CHECK(!categories.Apply(name).has_value());
    FUZZ_CHECK(!Contains(categories.Lines(), header));
    FUZZ_CHECK(categories.Lines().empty() || GroupCategories::IsHeader(categories.Lines()[0]));

    categories.Update(names.empty() ? name : names[0], name, active);
    const std::vector<std::string> edited = categories.Lines();
    if (categories.SaveCategories(kHost)) {
        FUZZ_CHECK(categories.Empty());
        FUZZ_CHECK(ng::ReadCategoryLines(kHost, read));
        FUZZ_CHECK(read == AsReadBack(edited));
    }

    FUZZ_CHECK(ng::WriteActiveGroups(kHost, lines));
    FUZZ_CHECK(ng::ReadActiveGroups(kHost, read));
    FUZZ_CHECK(read == Trimmed(AsReadBack(lines)));
    return 0;
}
