#include "store/GroupCategories.h"

#include "store/GroupFiles.h"

namespace ng {

std::string GroupCategories::NameOfHeader(const std::string& header) {
    return header.size() < 2 ? std::string() : header.substr(1, header.size() - 2);
}

std::vector<std::string> GroupCategories::LoadLines(const std::vector<std::string>& lines) {
    std::vector<std::string> names;
    m_categoryLines.reserve(m_categoryLines.size() + lines.size());
    for (const auto& line : lines) {
        if (IsHeader(line)) {
            names.push_back(NameOfHeader(line));
        }
        m_categoryLines.push_back(line);
    }
    return names;
}

std::vector<std::string> GroupCategories::LoadCategories(const std::string& host) {
    std::vector<std::string> lines;
    if (host.empty() || !ReadCategoryLines(host, lines)) {
        return {};
    }
    return LoadLines(lines);
}

std::optional<std::vector<std::string>> GroupCategories::Apply(const std::string& name) const {
    const std::string header = HeaderOf(name);
    for (size_t i = 0; i < m_categoryLines.size(); ++i) {
        if (m_categoryLines[i] != header) {
            continue;
        }
        std::vector<std::string> groups;
        // A header also ends the block: a file edited by hand may lack the
        // empty line, and a header is never a group name.
        for (size_t j = i + 1; j < m_categoryLines.size(); ++j) {
            const std::string& line = m_categoryLines[j];
            if (line.empty() || IsHeader(line)) {
                break;
            }
            groups.push_back(line);
        }
        return groups;
    }
    return std::nullopt;
}

void GroupCategories::AppendBlock(const std::string& name,
                                  const std::vector<std::string>& activeGroups) {
    if (!m_categoryLines.empty() && !m_categoryLines.back().empty()) {
        m_categoryLines.emplace_back();
    }
    m_categoryLines.push_back(HeaderOf(name));
    for (const auto& group : activeGroups) {
        if (!group.empty() && !IsHeader(group)) {
            m_categoryLines.push_back(group);
        }
    }
    m_categoryLines.emplace_back();
}

void GroupCategories::Add(const std::string& name, const std::vector<std::string>& activeGroups) {
    AppendBlock(name, activeGroups);
}

void GroupCategories::RemoveBlocks(const std::string& name, bool keepLeadingLines) {
    const std::string header = HeaderOf(name);
    std::vector<std::string> kept;
    kept.reserve(m_categoryLines.size());
    bool keep = keepLeadingLines;
    for (auto& line : m_categoryLines) {
        if (IsHeader(line)) {
            keep = (line != header);
        }
        if (keep) {
            kept.push_back(std::move(line));
        }
    }
    m_categoryLines = std::move(kept);
}

void GroupCategories::Update(const std::string& oldName, const std::string& newName,
                             const std::vector<std::string>& activeGroups) {
    RemoveBlocks(oldName, true);
    AppendBlock(newName, activeGroups);
}

void GroupCategories::Delete(const std::string& name) {
    RemoveBlocks(name, false);
}

bool GroupCategories::SaveCategories(const std::string& host, int* error) {
    if (host.empty() || m_categoryLines.empty()) {
        return false;
    }
    if (!WriteCategoryLines(host, m_categoryLines, error)) {
        return false;
    }
    m_categoryLines.clear();
    return true;
}

}  // namespace ng
