#pragma once
// Named group categories: blocks of lines kept in "GroupCat." + host. A
// block is a header "[" + name + "]", the names of its groups in order, and
// one empty line. The group select dialog edits them through this class.

#include <optional>
#include <string>
#include <vector>

namespace ng {

class GroupCategories {
public:
    // A line is a header when its first character is '['; its name is the
    // line without its first and last characters, whatever the last is.
    static bool IsHeader(const std::string& line) { return !line.empty() && line[0] == '['; }
    static std::string NameOfHeader(const std::string& header);
    static std::string HeaderOf(const std::string& name) { return "[" + name + "]"; }

    // Appends the lines as the category file holds them and gives the names
    // of the headers among them, in order.
    std::vector<std::string> LoadLines(const std::vector<std::string>& lines);
    // Reads "GroupCat." + host through LoadLines. Nothing when the host is
    // empty or the file cannot be read.
    std::vector<std::string> LoadCategories(const std::string& host);

    // The groups of the first block headed "[" + name + "]", up to its empty
    // line (or the next header, or the end). nullopt when there is no such
    // header: the caller then keeps its active groups as they are.
    std::optional<std::vector<std::string>> Apply(const std::string& name) const;

    // Appends a block for `name` holding the active groups; a second block
    // with the same name is allowed (Apply finds the first). Entries the
    // file cannot hold as group names (empty, or starting with '[') are left
    // out: they would end the block early or start a category of their own.
    void Add(const std::string& name, const std::vector<std::string>& activeGroups);
    // Drops every block headed by oldName (lines before the first header
    // stay), then appends a block for newName as Add does.
    void Update(const std::string& oldName, const std::string& newName,
                const std::vector<std::string>& activeGroups);
    // Drops every block headed by name, and the lines before the first header.
    void Delete(const std::string& name);

    const std::vector<std::string>& Lines() const { return m_categoryLines; }
    bool Empty() const { return m_categoryLines.empty(); }

    // Writes the lines to "GroupCat." + host (atomic replace) and then
    // empties them. Writes nothing, and gives false, when the host is empty
    // or there are no lines: the file then keeps what it held.
    bool SaveCategories(const std::string& host, int* error = nullptr);

private:
    void RemoveBlocks(const std::string& name, bool keepLeadingLines);
    void AppendBlock(const std::string& name, const std::vector<std::string>& activeGroups);

    std::vector<std::string> m_categoryLines;
};

}  // namespace ng
