#include "store/SeenArticles.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/TextFile.h"

namespace ng {

namespace {

std::string Where(std::string_view group, int64_t number) {
    return std::string(group) + ":" + std::to_string(number);
}

// What can stand in a one-line record: no blank, no control character.
bool Plain(std::string_view text) {
    return std::none_of(text.begin(), text.end(),
                        [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

}  // namespace

bool SeenArticles::Load(const std::string& fileName) {
    SeenArticles loaded;
    errno = 0;
    if (!ForEachTextLine(fileName, [&](std::string_view line) {
            // "<message-id> group:number"; the message-id may be "-".
            const size_t blank = line.find(' ');
            if (blank == std::string_view::npos) {
                return;
            }
            std::string_view id = line.substr(0, blank);
            std::string_view where = line.substr(blank + 1);
            if (where.empty() || !Plain(where)) {
                return;
            }
            loaded.m_order.push_back(
                {id == "-" ? std::string() : std::string(id), std::string(where)});
            if (!loaded.m_order.back().messageId.empty()) {
                loaded.m_ids.insert(loaded.m_order.back().messageId);
            }
            loaded.m_places.insert(loaded.m_order.back().where);
            loaded.Trim();
        })) {
        return errno == ENOENT;
    }
    *this = std::move(loaded);
    return true;
}

int SeenArticles::Save(const std::string& fileName) const {
    std::vector<std::string> lines;
    lines.reserve(m_order.size());
    for (const Entry& entry : m_order) {
        lines.push_back((entry.messageId.empty() ? "-" : entry.messageId) + " " + entry.where);
    }
    int error = 0;
    return ReplaceTextFile(fileName, lines, &error) ? 0 : error;
}

void SeenArticles::Note(std::string_view messageId, std::string_view group, int64_t number) {
    std::string where = Where(group, number);
    if (!Plain(where) || m_places.count(where)) {
        return;
    }
    Entry entry{Plain(messageId) ? std::string(messageId) : std::string(), std::move(where)};
    if (!entry.messageId.empty()) {
        m_ids.insert(entry.messageId);
    }
    m_places.insert(entry.where);
    m_order.push_back(std::move(entry));
    m_bChanged = true;
    Trim();
}

void SeenArticles::Trim() {
    while (m_order.size() > kMaxEntries) {
        const Entry& oldest = m_order.front();
        if (!oldest.messageId.empty()) {
            m_ids.erase(m_ids.find(oldest.messageId));
        }
        m_places.erase(m_places.find(oldest.where));
        m_order.pop_front();
    }
}

bool SeenArticles::HasMessageId(std::string_view messageId) const {
    return !messageId.empty() && m_ids.count(std::string(messageId)) != 0;
}

bool SeenArticles::HasPlace(std::string_view place) const {
    return m_places.count(std::string(place)) != 0;
}

}  // namespace ng
