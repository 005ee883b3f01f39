#include "ui/GroupListRefreshQt.h"

#include <utility>

void CQtGroupListSink::Deliver(std::vector<ng::RefreshUpdate> updates) {
    m_mailbox.Put([&updates](std::vector<ng::RefreshUpdate>& waiting) {
        for (auto& update : updates) {
            // Two status texts in a row: the dialog would only ever show the
            // second, so a slow dialog never piles them up.
            if (update.kind == ng::RefreshUpdate::Status && !waiting.empty() &&
                waiting.back().kind == ng::RefreshUpdate::Status) {
                waiting.back().text = std::move(update.text);
            } else {
                waiting.push_back(std::move(update));
            }
        }
    });
}
