#pragma once
// What one pass is made of, from its settings snapshot: the worker's two
// source files share it.

#include <memory>
#include <string>
#include <vector>

#include "engine/ArticlePool.h"
#include "engine/GroupScanner.h"
#include "engine/HeaderFilter.h"
#include "engine/PassHistory.h"
#include "engine/PostRetriever.h"
#include "engine/ProcessGroups.h"
#include "engine/ServerLink.h"
#include "store/SeenArticles.h"

struct CProcessGroups::Parts {
    Parts(CProcessGroups& worker, const ng::PassSettings& settings)
        : history(settings.maxHist, settings.skipDuplicates),
          filter(settings.filter, history.Names(), &seen),
          link(worker.m_pass, settings.server, settings.login, worker.m_pPrompt, Retry(settings),
               [&worker](const std::string& text) { worker.Window().SetStatusText(text); }),
          extraLinks(Extras(worker, settings)),
          pool(worker.m_pass, Links(), settings.articlesInFlight,
               [&worker](const std::string& text) { worker.Window().SetStatusText(text); }),
          scanner(worker.m_pass, worker.m_report, settings, link, filter, worker.m_pending,
                  worker.m_parts),
          retriever(worker.m_pass, worker.m_report, settings, pool, worker.m_parts, history) {
        link.SetWindow(settings.articlesInFlight);
    }

    static ng::RetrySettings Retry(const ng::PassSettings& settings) {
        return {settings.connectRetries, settings.retryWaitSeconds};
    }
    static std::vector<std::unique_ptr<ng::ServerLink>> Extras(CProcessGroups& worker,
                                                               const ng::PassSettings& settings) {
        std::vector<std::unique_ptr<ng::ServerLink>> extras;
        for (int i = 1; i < settings.connections; ++i) {
            extras.push_back(std::make_unique<ng::ServerLink>(
                worker.m_pass, settings.server, settings.login, nullptr, Retry(settings),
                [](const std::string&) {}));
        }
        return extras;
    }
    std::vector<ng::ServerLink*> Links() {
        std::vector<ng::ServerLink*> links{&link};
        for (const auto& extra : extraLinks) {
            links.push_back(extra.get());
        }
        return links;
    }

    ng::PassHistory history;
    ng::SeenArticles seen;  // what passes dealt with, for crossposts
    ng::HeaderFilter filter;
    ng::ServerLink link;                                      // the pass's own connection
    std::vector<std::unique_ptr<ng::ServerLink>> extraLinks;  // Connections above 1
    ng::ArticlePool pool;
    ng::GroupScanner scanner;
    ng::PostRetriever retriever;
};
