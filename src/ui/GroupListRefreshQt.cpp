#include "ui/GroupListRefreshQt.h"

#include <QLabel>
#include <utility>

#include "settings/SettingsStore.h"
#include "ui/AllGroupsList.h"
#include "ui/UiText.h"

CGroupListRefreshQt::CGroupListRefreshQt(CAllGroupsList& allGroups, QLabel* status)
    : m_allGroups(allGroups),
      m_pStatus(status),
      m_prompt(allGroups.window()),
      m_refresh(ng::Profile(), *this, &m_prompt) {}

bool CGroupListRefreshQt::Start(const std::string& groupFilter) {
    if (m_bRunning) {
        return false;
    }
    m_bRunning = m_refresh.Start(ng::SplitGroupFilter(groupFilter));
    return m_bRunning;
}

void CGroupListRefreshQt::Deliver(std::vector<ng::RefreshUpdate> updates) {
    m_updates.Fill([&updates](std::vector<ng::RefreshUpdate>& waiting) {
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

void CGroupListRefreshQt::drain() {
    bool tookNames = false;
    bool done = false;
    m_updates.Drain([&](ng::RefreshUpdate& update) {
        switch (update.kind) {
            case ng::RefreshUpdate::Status:
                m_pStatus->setText(ng::ui::FromBytes(update.text));
                break;
            case ng::RefreshUpdate::Clear:
                m_allGroups.SetNames({});
                break;
            case ng::RefreshUpdate::AddGroup:
                tookNames = true;
                m_allGroups.AddLater(std::move(update.text));
                break;
            case ng::RefreshUpdate::SelectFirst:
                m_allGroups.Flush();
                m_allGroups.SelectFirst();
                break;
            case ng::RefreshUpdate::Done:
                done = true;
                break;
        }
    });
    if (tookNames) {
        // The names are copied: the refresh may go on reading.
        m_refresh.AcknowledgeGroups();
    }
    if (done) {
        m_allGroups.Flush();
        m_refresh.Join();
        m_bRunning = false;
        emit finished();
    }
}
